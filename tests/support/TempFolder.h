#pragma once

#include "text/GbkText.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace quillet::testsupport {

// A fresh folder under the system's temporary folder, removed with everything in it when
// the object ends.
class TempFolder {
public:
    explicit TempFolder(std::string_view hint = "quillet");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const { return m_path; }
    // A path inside the folder; name is UTF-8.
    [[nodiscard]] std::filesystem::path file(std::string_view utf8Name) const;
    // The same as a GBK path, as the program's own operations take it.
    [[nodiscard]] GbkText gbkFile(std::string_view utf8Name) const;

private:
    std::filesystem::path m_path;
};

// Whole-file helpers for checking what the program wrote. A missing file reads as empty.
[[nodiscard]] std::string readFileBytes(const std::filesystem::path& path);
void writeFileBytes(const std::filesystem::path& path, std::string_view bytes);

// Sets (or, with nullptr, removes) an environment variable for the life of the object.
class ScopedEnvironment {
public:
    ScopedEnvironment(std::string name, const char* value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string m_name;
    bool m_hadValue = false;
    std::string m_oldValue;
};

} // namespace quillet::testsupport
