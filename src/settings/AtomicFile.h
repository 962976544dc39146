#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace quillet::settings {

// Owns one POSIX file descriptor (or nothing). Closes it when it ends.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor();
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor(FileDescriptor&& other) noexcept;
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;

    [[nodiscard]] int get() const { return m_fd; }
    [[nodiscard]] bool valid() const { return m_fd >= 0; }
    void reset(int fd = -1);
    // Gives the descriptor up without closing it.
    [[nodiscard]] int release();

private:
    int m_fd = -1;
};

// The whole content of a file; nothing when it cannot be read (a missing file included).
[[nodiscard]] std::optional<std::string> readWholeFile(const std::filesystem::path& path);

// Replaces the file's content so that at every moment the path names either the complete old
// content or the complete new content: the bytes go to a temporary file beside it, are flushed
// to the disk, and the temporary file is renamed over the original. A kill or a power cut in
// the middle leaves the old file, never a torn one. An existing file's permission bits are
// kept. Returns false when anything failed; the original
// is then unchanged.
[[nodiscard]] bool writeFileAtomically(const std::filesystem::path& path, std::string_view bytes);

// An exclusive hold on a settings file for the life of the object, so that two running
// instances do not overwrite each other's settings. It is an advisory lock on a companion
// file (path + ".lock"), because the settings file itself is replaced on every write.
class FileLock {
public:
    enum class Result { Locked, HeldElsewhere, Failed };

    FileLock() = default;
    [[nodiscard]] Result acquire(const std::filesystem::path& settingsPath);
    void release();
    [[nodiscard]] bool held() const { return m_fd.valid(); }

private:
    FileDescriptor m_fd;
};

// Whether a file at path could be created or replaced by this process: the folder exists and
// can be written, and an existing file is not write-protected.
[[nodiscard]] bool canReplaceFile(const std::filesystem::path& path);

} // namespace quillet::settings
