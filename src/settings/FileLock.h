#pragma once

#include "text/FileDescriptor.h"

#include <filesystem>

namespace quillet::settings {

// An exclusive hold on a settings file for the life of the object, so that two running
// instances do not overwrite each other's settings. It is an advisory lock on a companion
// file (the settings file's name + ".lock", beside the file a symbolic link points to),
// because the settings file itself is replaced on every write.
class FileLock {
public:
    enum class Result { Locked, HeldElsewhere, Failed };

    FileLock() = default;
    [[nodiscard]] Result acquire(const std::filesystem::path& settingsPath);
    void release();
    [[nodiscard]] bool held() const { return m_fd.valid(); }

private:
    text::FileDescriptor m_fd;
};

} // namespace quillet::settings
