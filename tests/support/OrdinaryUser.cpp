#include "OrdinaryUser.h"

#include <system_error>

#ifndef _WIN32
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace quillet::testsupport {

namespace fs = std::filesystem;

std::string runAsOrdinaryUser(const fs::path& folder, const std::function<std::string()>& body)
{
#ifdef _WIN32
    (void)folder;
    return body();
#else
    if (::geteuid() != 0)
        return body();
    constexpr uid_t kNobody = 65534;
    int channel[2];
    if (::pipe(channel) != 0)
        return "no pipe to the child";
    const pid_t child = ::fork();
    if (child < 0)
        return "no child process";
    if (child == 0) {
        ::close(channel[0]);
        std::error_code ec;
        bool handed = ::lchown(folder.c_str(), kNobody, kNobody) == 0;
        for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
             it.increment(ec))
            handed = ::lchown(it->path().c_str(), kNobody, kNobody) == 0 && handed;
        std::string result;
        if (!handed || ec || ::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0
            || ::geteuid() == 0)
            result = "could not become an ordinary user\n";
        else
            result = body();
        std::size_t done = 0;
        while (done < result.size()) {
            const ssize_t n = ::write(channel[1], result.data() + done, result.size() - done);
            if (n <= 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        ::_exit(0);
    }
    ::close(channel[1]);
    std::string result;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(channel[0], buffer, sizeof buffer)) > 0)
        result.append(buffer, static_cast<std::size_t>(n));
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        result += "the child ended abnormally\n";
    return result;
#endif
}

} // namespace quillet::testsupport
