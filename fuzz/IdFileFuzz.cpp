// The product-ID file reader against a plain split of the same bytes: a line ends at LF (a CR
// right before it dropped), at NUL or at 0x1A; a last line without an end still counts.
// When its low three bits are 1, the first byte puts up to 255 bytes less than one read block
// in front, so line ends, CR LF pairs and the end of the file fall on the reader's block
// boundaries.

#include "FuzzSupport.h"

#include "harvest/BatchRun.h"

#include <vector>

using namespace quillet;

namespace {

std::vector<GbkText> plainSplit(std::string_view bytes)
{
    std::vector<GbkText> lines;
    GbkText line;
    bool open = false;
    for (const char c : bytes) {
        if (c == '\n' || c == '\0' || c == '\x1A') {
            if (c == '\n' && !line.empty() && line.back() == '\r')
                line.pop_back();
            lines.push_back(line);
            line.clear();
            open = false;
        } else {
            line += c;
            open = true;
        }
    }
    if (open)
        lines.push_back(line);
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string bytes(reinterpret_cast<const char*>(data), size);
    if (!bytes.empty() && (bytes[0] & 7) == 1) {
        const std::size_t pad = 65536 - static_cast<unsigned char>(bytes[0]);
        bytes = std::string(pad, 'x') + bytes.substr(1);
    }
    const std::string path = fuzz::scratchFolder() + "/ids.txt";
    fuzz::check(fuzz::writeFile(path, bytes), "the scratch file can be written");

    harvest::ProductIdFile file;
    fuzz::check(file.open(path), "the file opens");
    std::vector<GbkText> lines;
    GbkText line;
    while (file.nextLine(line))
        lines.push_back(line);
    const std::vector<GbkText> expected = plainSplit(bytes);
    fuzz::check(lines == expected, "the reader gives the lines of a plain split",
                "lines " + std::to_string(lines.size()) + ", expected " + std::to_string(expected.size()));
    return 0;
}
