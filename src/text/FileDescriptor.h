#pragma once

namespace quillet::text {

// Owns one POSIX file descriptor (or nothing) and closes it when it ends.
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
    // Closes the descriptor held (if any) and takes fd.
    void reset(int fd = -1);
    // Closes the descriptor and says whether the close succeeded (a delayed write error
    // shows here). True when nothing was held.
    [[nodiscard]] bool close();
    // Gives the descriptor up without closing it.
    [[nodiscard]] int release();

private:
    int m_fd = -1;
};

} // namespace quillet::text
