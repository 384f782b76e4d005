#pragma once
// Running a piece of a test in a child process: for saves killed mid-write,
// and for files and folders that must be out of reach of the process even
// when the suite runs as root.

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/resource.h>
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

// What a child returns when it cannot set up what its case needs here: the
// reason, behind this prefix. The parent skips the case with it.
constexpr const char* kCannotRunHere = "cannot run here: ";

inline std::string CannotRunHere(const std::string& why) { return kCannotRunHere + why; }
inline bool IsCannotRunHere(const std::string& said) { return said.rfind(kCannotRunHere, 0) == 0; }

// Runs `body` in a forked child and returns what it returned: "" when the
// case held, else what went wrong. The text comes back through a pipe, since
// the child may have put its files out of its own reach.
inline std::string RunInChildSaying(const std::function<std::string()>& body)
{
    int channel[2];
    if (pipe(channel) != 0)
        return "no pipe to the child";
    const pid_t pid = fork();
    if (pid < 0)
        return "no child process";
    if (pid == 0) {
        close(channel[0]);
        const std::string said = body();
        std::size_t done = 0;
        while (done < said.size()) {
            const ssize_t n = write(channel[1], said.data() + done, said.size() - done);
            if (n <= 0)
                _exit(2);
            done += static_cast<std::size_t>(n);
        }
        _exit(0);
    }
    close(channel[1]);
    std::string said;
    char buffer[512];
    ssize_t n;
    while ((n = read(channel[0], buffer, sizeof buffer)) != 0) {
        if (n > 0)
            said.append(buffer, static_cast<std::size_t>(n));
        else if (errno != EINTR)
            break;
    }
    close(channel[0]);
    int status = 0;
    pid_t done;
    do
        done = waitpid(pid, &status, 0);
    while (done < 0 && errno == EINTR);
    if (done != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "the child process did not end normally; it said: " + said;
    return said;
}

namespace detail {
inline bool WriteProcFile(const char* path, const std::string& text)
{
    const int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    return close(fd) == 0 && ok;
}
} // namespace detail

// In a (single-threaded, forked) child: mounts a fresh tmpfs of `size`
// ("16k") over `folder`, in a mount namespace of the child's own, so that
// nothing outside the child ever sees it. Root makes the namespace
// directly; anyone else through a user namespace of their own, in which
// they are root. False when the system allows neither.
inline bool MountSmallDisk(const std::string& folder, const char* size)
{
    if (RunningAsRoot()) {
        if (unshare(CLONE_NEWNS) != 0)
            return false;
    } else {
        const uid_t uid = getuid();
        const gid_t gid = getgid();
        if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0 || !detail::WriteProcFile("/proc/self/setgroups", "deny")
            || !detail::WriteProcFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1")
            || !detail::WriteProcFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))
            return false;
    }
    // Mounts made from here on stay in this namespace.
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return false;
    const std::string options = std::string("size=") + size;
    return mount("tmpfs", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0
        && chdir(folder.c_str()) == 0;
}

// Fills the disk of the current folder with the file `name` until no byte
// more fits. True when the disk is full.
inline bool FillDisk(const char* name)
{
    const int fd = open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    char block[4096] = {};
    ssize_t written;
    while ((written = write(fd, block, sizeof block)) > 0) {
    }
    const bool full = written < 0 && errno == ENOSPC;
    close(fd);
    return full;
}

// Limits the size of every file this process writes to `bytes`; a write
// past the limit fails with EFBIG (its signal is ignored). The limit can be
// raised again later in the same process.
inline bool LimitFileSize(rlim_t bytes)
{
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    if (getrlimit(RLIMIT_FSIZE, &limit) != 0)
        return false;
    limit.rlim_cur = bytes;
    return setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

} // namespace reliability
