#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace quillet::testsupport {

// Runs body with the file permissions of an ordinary user, so that tests of read-only and
// unreadable files mean the same when the suites run as the superuser. Not the superuser: body
// simply runs. The superuser: body runs in a child process that first hands `folder` and
// everything in it to the user "nobody" and then becomes that user.
//
// body returns its failures, one per line (empty when everything held); so does this, or
// the reason the child could not run body.
[[nodiscard]] std::string runAsOrdinaryUser(const std::filesystem::path& folder,
                                            const std::function<std::string()>& body);

// Collects the failed checks of a body run by runAsOrdinaryUser.
class CheckLog {
public:
    void check(bool held, const std::string& what)
    {
        if (!held)
            m_failures += what + "\n";
    }
    [[nodiscard]] const std::string& failures() const { return m_failures; }

private:
    std::string m_failures;
};

} // namespace quillet::testsupport
