#pragma once

#include <cstdio>
#include <filesystem>

namespace quillet::text {

// Owns one C stream (or nothing) and closes it when it ends.
class StdioFile {
public:
    StdioFile() = default;
    explicit StdioFile(std::FILE* file) : m_file(file) {}
    ~StdioFile();
    StdioFile(const StdioFile&) = delete;
    StdioFile& operator=(const StdioFile&) = delete;
    StdioFile(StdioFile&& other) noexcept;
    StdioFile& operator=(StdioFile&& other) noexcept;

    // Opens a native path with an fopen mode ("rb", "wb", ...); an empty owner on failure.
    [[nodiscard]] static StdioFile open(const std::filesystem::path& path, const char* mode);

    [[nodiscard]] std::FILE* get() const { return m_file; }
    [[nodiscard]] explicit operator bool() const { return m_file != nullptr; }
    void reset(std::FILE* file = nullptr);
    // Closes the stream and says whether buffered bytes reached the file. True when nothing
    // was held.
    [[nodiscard]] bool close();

private:
    std::FILE* m_file = nullptr;
};

} // namespace quillet::text
