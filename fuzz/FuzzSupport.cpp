#include "FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace quillet::fuzz {

const std::string& scratchFolder()
{
    static const std::string folder = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string base = tmp && *tmp ? tmp : (std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp");
        std::string pattern = base + "/quillet-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data())) {
            std::perror("mkdtemp");
            std::abort();
        }
        static const std::string made = pattern;
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(made, ec);
        });
        return pattern;
    }();
    return folder;
}

bool writeFile(const std::string& path, std::string_view bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::string hex(std::string_view bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < bytes.size() && i < 512; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out += digits[b >> 4];
        out += digits[b & 15];
        out += ' ';
    }
    if (bytes.size() > 512)
        out += "...";
    return out;
}

void check(bool holds, const char* what, std::string_view detail)
{
    if (holds)
        return;
    std::fprintf(stderr, "\n*** property broken: %s\n", what);
    if (!detail.empty())
        std::fprintf(stderr, "    %.*s\n", static_cast<int>(detail.size()), detail.data());
    std::abort();
}

} // namespace quillet::fuzz
