#include "HelpDocument.h"

#include "text/Paths.h"

#include <system_error>

namespace quillet::app {

GbkText helpDocumentPathIn(const std::filesystem::path& programFolder)
{
    const std::filesystem::path candidates[] = {
        programFolder / kHelpDocumentName,
        programFolder.parent_path() / "share" / "quillet" / kHelpDocumentName,
    };
    for (const auto& candidate : candidates) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(candidate, ec))
            return text::fromNativePath(candidate);
    }
    return text::fromNativePath(candidates[0]);
}

GbkText helpDocumentPath()
{
    return helpDocumentPathIn(text::executableFolder());
}

} // namespace quillet::app
