#pragma once

#include "GbkText.h"

#include <filesystem>

namespace quillet::text {

// File paths cross to the operating system only through these helpers. A GbkText path may
// use "\" (the form the program's own defaults and stored settings use) or "/"; both become
// the platform's separator. The conversion works on characters, so a GBK trail byte equal
// to "\" is never taken for a separator.
[[nodiscard]] std::filesystem::path toNativePath(const GbkText& path);
[[nodiscard]] GbkText fromNativePath(const std::filesystem::path& path);

// The platform's separator as GbkText: "\" on Windows, "/" elsewhere.
[[nodiscard]] const GbkText& pathSeparator();

// The user's home folder (GBK, no trailing separator).
[[nodiscard]] GbkText homeFolder();

// Maps a Windows-style default such as "C:\淘宝评论" to the user's home folder on systems
// without drive letters ("~/淘宝评论"); returns the text unchanged on Windows or when it does
// not start with "C:\".
[[nodiscard]] GbkText localDefaultPath(const GbkText& windowsDefault);

// The folder that holds the running executable (found from the process, never from the
// working directory), without a trailing separator; empty if it cannot be found.
[[nodiscard]] std::filesystem::path executableFolder();

} // namespace quillet::text
