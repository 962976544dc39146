// Title to file name: whatever a product title or ID holds, the article's path is the output
// folder plus exactly one name, with no NUL, control byte or separator, at most 255 bytes
// as the system sees it, and never "." or "..".

#include "FuzzSupport.h"

#include "compose/Article.h"
#include "compose/FileHelpers.h"
#include "text/Paths.h"

#include <filesystem>

using namespace quillet;

namespace {

void checkName(const std::filesystem::path& folder, const GbkText& path, const GbkText& from)
{
    const std::filesystem::path native = text::toNativePath(path);
    const std::string name = native.filename().native();
    fuzz::check(native.parent_path() == folder, "the path is the folder plus one name", fuzz::hex(path));
    fuzz::check(!name.empty() && name != "." && name != "..", "the name is a name", fuzz::hex(from));
    fuzz::check(name.size() <= 255, "the name fits in 255 bytes", fuzz::hex(from));
    for (const char c : name) {
        const auto b = static_cast<unsigned char>(c);
        fuzz::check(b >= 0x20 && b != 0x7F && c != '/' && c != '\\', "no control byte or separator in the name",
                    fuzz::hex(name));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const bool cut = in.ConsumeBool();
    const bool trim = in.ConsumeBool();
    const int slash = in.ConsumeIntegralInRange(0, 2);
    // The extension box is cleaned like a name before it is used.
    const GbkText extension = compose::sanitizeFileName(in.ConsumeRandomLengthString(24));
    const GbkText productId = in.ConsumeRandomLengthString(64);
    const GbkText title = in.ConsumeRemainingBytesAsString();

    const GbkText cleaned = compose::sanitizeFileName(title, cut, trim);
    for (const char c : cleaned) {
        const auto b = static_cast<unsigned char>(c);
        fuzz::check(b >= 0x20 && b != 0x7F, "no control byte in a cleaned name", fuzz::hex(title));
    }

    const std::string& folder = fuzz::scratchFolder();
    const GbkText directory = folder + (slash == 0 ? "" : slash == 1 ? "/" : "\\");
    const std::filesystem::path nativeFolder(folder);
    for (int naming = 0; naming <= 1; ++naming) {
        const GbkText path = compose::outputPath(naming, directory, extension, title, productId);
        if (!path.empty()) // no name at all is an honest "cannot be written"
            checkName(nativeFolder, path, naming == 0 ? title : productId);
    }
    return 0;
}
