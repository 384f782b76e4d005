#pragma once
// Running a piece of a test in a child process: for saves killed mid-write,
// and for files and folders that must be out of reach of the process even
// when the suite runs as root.

#include <cerrno>
#include <csignal>
#include <functional>
#include <grp.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace reliability {

// The user id a root test drops to.
constexpr uid_t kNobody = 65534;

inline bool RunningAsRoot() { return geteuid() == 0; }

// Gives up root for good in the calling (child) process: no supplementary
// groups, group and user "nobody". False if any step failed.
inline bool DropRoot()
{
    return setgroups(0, nullptr) == 0 && setgid(kNobody) == 0 && setuid(kNobody) == 0 && geteuid() == kNobody;
}

// Runs `body` in a forked child and returns its exit code; -1 when the
// child could not be started or did not exit normally. The child leaves
// through _exit, so nothing of the parent (Qt, the test framework) is torn
// down twice.
inline int RunInChild(const std::function<int()>& body)
{
    const pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0)
        _exit(body());
    int status = 0;
    pid_t done;
    do
        done = waitpid(pid, &status, 0);
    while (done < 0 && errno == EINTR);
    return done == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace reliability
