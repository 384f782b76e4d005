#include "platform/FileStore.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace platform {

namespace {

FileStepHook& Hook()
{
    static FileStepHook hook;
    return hook;
}

// Runs one step: the hook may fail it first; a call cut short by a signal
// is made again. The call's result, with errno set when it failed.
template <typename Call>
auto Step(FileStep step, Call call)
{
    if (const FileStepHook& hook = Hook())
        if (const int error = hook(step)) {
            errno = error;
            return decltype(call())(-1);
        }
    decltype(call()) result;
    do
        result = call();
    while (result == -1 && errno == EINTR);
    return result;
}

// close() is not made again after a signal: the descriptor is gone either way.
int CloseStep(int fd)
{
    if (const FileStepHook& hook = Hook())
        if (const int error = hook(FileStep::Close)) {
            ::close(fd);
            errno = error;
            return -1;
        }
    return ::close(fd);
}

QString SystemReason(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

FileResult Failure(int error) { return {false, SystemReason(error)}; }
FileResult Failure(const char* reason) { return {false, QString::fromUtf8(reason)}; }

// A file descriptor, closed when it goes out of scope unless released;
// where the close matters, it is made and checked explicitly.
class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    Fd(Fd&& other) noexcept : m_fd(other.Release()) {}
    Fd& operator=(Fd&& other) noexcept
    {
        Reset(other.Release());
        return *this;
    }
    ~Fd() { Reset(); }
    int Get() const { return m_fd; }
    int Release() { return std::exchange(m_fd, -1); }
    void Reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd;
};

// Writes all of `bytes` at `offset` (or, with -1, at the current position).
bool WriteAll(int fd, std::string_view bytes, FileStep step, off_t offset = -1)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const char* from = bytes.data() + done;
        const std::size_t count = bytes.size() - done;
        const ssize_t n = offset < 0
            ? Step(step, [&] { return ::write(fd, from, count); })
            : Step(step, [&] { return ::pwrite(fd, from, count, offset + static_cast<off_t>(done)); });
        if (n < 0)
            return false;
        if (n == 0) {
            errno = EIO;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// A sync that the file system does not offer is no failure.
bool Synced(int result) { return result == 0 || errno == EINVAL || errno == ENOTSUP; }

// What a save writes: the file `name` in `folder`, as it stands (`info`)
// when it exists.
struct Target {
    Fd folder;
    std::string name;
    bool exists = false;
    struct stat info {};
};

// Makes `path`, seen from the target's folder, the target: the folder it
// names is opened, and its last part becomes the name.
bool Enter(Target& target, const std::string& path, FileStep step)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        target.name = path;
        return true;
    }
    const std::string folderPath = slash == 0 ? std::string("/") : path.substr(0, slash);
    Fd folder(Step(step, [&] {
        return ::openat(target.folder.Get(), folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }));
    if (folder.Get() < 0)
        return false;
    target.folder = std::move(folder);
    target.name = slash + 1 < path.size() ? path.substr(slash + 1) : std::string(".");
    return true;
}

// Follows the path from the current folder, link by link, to the regular
// file a save may replace, or to the free name where it may make one.
FileResult Resolve(const char* path, Target& target)
{
    target.folder = Fd(Step(FileStep::OpenFolder, [] { return ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
    if (target.folder.Get() < 0 || !Enter(target, path, FileStep::OpenFolder))
        return Failure(errno);
    for (int links = 0;; ++links) {
        struct stat st {};
        if (Step(FileStep::Inspect, [&] {
                return ::fstatat(target.folder.Get(), target.name.c_str(), &st, AT_SYMLINK_NOFOLLOW);
            }) != 0) {
            if (errno != ENOENT)
                return Failure(errno);
            if (links > 0)
                return Failure("it is a link to a file that does not exist");
            target.exists = false;
            return {true, {}};
        }
        if (S_ISREG(st.st_mode)) {
            target.exists = true;
            target.info = st;
            return {true, {}};
        }
        if (!S_ISLNK(st.st_mode))
            return Failure("it is not a regular file");
        if (links == 40)
            return Failure(ELOOP);

        // The rule the system itself keeps for links in shared folders.
        struct stat folder {};
        if (Step(FileStep::Inspect, [&] { return ::fstat(target.folder.Get(), &folder); }) != 0)
            return Failure(errno);
        if ((folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH) && st.st_uid != ::geteuid()
            && st.st_uid != folder.st_uid)
            return Failure("it is a link that another user made in a folder open to all");

        char buffer[PATH_MAX];
        const ssize_t length = Step(FileStep::Inspect, [&] {
            return ::readlinkat(target.folder.Get(), target.name.c_str(), buffer, sizeof buffer);
        });
        if (length < 0)
            return Failure(errno);
        if (static_cast<std::size_t>(length) == sizeof buffer)
            return Failure(ENAMETOOLONG);
        if (!Enter(target, std::string(buffer, static_cast<std::size_t>(length)), FileStep::Inspect))
            return errno == ENOENT ? Failure("it is a link to a file that does not exist") : Failure(errno);
    }
}

std::string TemporaryName(const std::string& name)
{
    // Names need not be unpredictable, only rarely taken: O_EXCL refuses a
    // taken one and another is drawn.
    static std::mt19937 random(static_cast<unsigned>(::getpid())
                               ^ static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string temp = name + '.';
    for (int k = 0; k < 6; ++k)
        temp += letters[random() % (sizeof letters - 1)];
    return temp;
}

// Writes the new contents to a temporary file beside the target and puts
// it in the target's place. `createError` tells whether the temporary file
// could not be made, and why.
FileResult ReplaceThroughTemporaryFile(const Target& target, std::string_view bytes, int& createError)
{
    const int folder = target.folder.Get();
    std::string temp;
    Fd fd;
    for (int attempt = 0; attempt < 100 && fd.Get() < 0; ++attempt) {
        temp = TemporaryName(target.name);
        fd = Fd(Step(FileStep::CreateTemp, [&] {
            return ::openat(folder, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        }));
        if (fd.Get() < 0 && errno != EEXIST)
            break;
    }
    if (fd.Get() < 0) {
        createError = errno;
        return Failure(errno);
    }
    createError = 0;

    const auto fail = [&](int error) {
        fd.Reset();
        ::unlinkat(folder, temp.c_str(), 0);
        return Failure(error);
    };
    if (target.exists) {
        const struct stat& old = target.info;
        // Root gives the file back to its owner; anyone else keeps at least
        // its group where they belong to it.
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
            if (Step(FileStep::KeepOwner, [&] { return ::fchown(fd.Get(), old.st_uid, old.st_gid); }) != 0) {
                if (errno != EPERM)
                    return fail(errno);
                if (Step(FileStep::KeepOwner, [&] { return ::fchown(fd.Get(), static_cast<uid_t>(-1), old.st_gid); }) != 0
                    && errno != EPERM)
                    return fail(errno);
            }
        }
        if (Step(FileStep::KeepMode, [&] { return ::fchmod(fd.Get(), old.st_mode & 0777); }) != 0)
            return fail(errno);
    }
    if (!WriteAll(fd.Get(), bytes, FileStep::Write))
        return fail(errno);
    if (!Synced(Step(FileStep::Sync, [&] { return ::fsync(fd.Get()); })))
        return fail(errno);
    if (CloseStep(fd.Release()) != 0)
        return fail(errno);
    if (Step(FileStep::Replace, [&] { return ::renameat(folder, temp.c_str(), folder, target.name.c_str()); }) != 0)
        return fail(errno);
    // The new table stands; a folder that cannot be synced may still lose
    // it to a crash, and the player is told so.
    if (!Synced(Step(FileStep::SyncFolder, [&] { return ::fsync(folder); })))
        return Failure(errno);
    return {true, {}};
}

// Puts the old contents back after a failed rewrite in place, as far as
// the system lets it.
void Restore(const Target& target, const std::string& old)
{
    Fd fd(Step(FileStep::Restore, [&] {
        return ::openat(target.folder.Get(), target.name.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    }));
    if (fd.Get() < 0 || !WriteAll(fd.Get(), old, FileStep::Restore, 0))
        return;
    Step(FileStep::Restore, [&] { return ::ftruncate(fd.Get(), static_cast<off_t>(old.size())); });
    Step(FileStep::Restore, [&] { return ::fsync(fd.Get()); });
}

// The last resort, for a folder that takes no new file: the file is
// rewritten where it stands. Its old contents are read first and put back
// if any step fails.
FileResult RewriteInPlace(const Target& target, std::string_view bytes, int createError)
{
    // Only a file of the size the game could have written is worth this.
    constexpr off_t kMostKept = 1 << 16;
    if (target.info.st_size > kMostKept)
        return Failure(createError);
    Fd fd(Step(FileStep::OpenInPlace, [&] {
        return ::openat(target.folder.Get(), target.name.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    }));
    if (fd.Get() < 0)
        return Failure(errno);
    struct stat st {};
    if (Step(FileStep::Inspect, [&] { return ::fstat(fd.Get(), &st); }) != 0)
        return Failure(errno);
    if (!S_ISREG(st.st_mode) || st.st_dev != target.info.st_dev || st.st_ino != target.info.st_ino)
        return Failure("it was replaced while it was being saved");

    std::string old;
    char buffer[4096];
    for (;;) {
        const ssize_t n = Step(FileStep::ReadOld, [&] {
            return ::pread(fd.Get(), buffer, sizeof buffer, static_cast<off_t>(old.size()));
        });
        if (n < 0)
            return Failure(errno);
        if (n == 0)
            break;
        old.append(buffer, static_cast<std::size_t>(n));
        if (old.size() > static_cast<std::size_t>(kMostKept))
            return Failure(createError);
    }

    const auto fail = [&](int error) {
        fd.Reset();
        Restore(target, old);
        return Failure(error);
    };
    if (!WriteAll(fd.Get(), bytes, FileStep::Write, 0))
        return fail(errno);
    if (Step(FileStep::Truncate, [&] { return ::ftruncate(fd.Get(), static_cast<off_t>(bytes.size())); }) != 0)
        return fail(errno);
    if (!Synced(Step(FileStep::Sync, [&] { return ::fsync(fd.Get()); })))
        return fail(errno);
    if (CloseStep(fd.Release()) != 0)
        return fail(errno);
    return {true, {}};
}

} // namespace

FileResult ReplaceFileContents(const char* name, std::string_view bytes)
{
    Target target;
    if (FileResult resolved = Resolve(name, target); !resolved.ok)
        return resolved;
    // A file this process may not write is not replaced either.
    if (target.exists
        && Step(FileStep::Inspect, [&] {
               return ::faccessat(target.folder.Get(), target.name.c_str(), W_OK, AT_EACCESS);
           }) != 0)
        return Failure(errno);

    int createError = 0;
    FileResult result = ReplaceThroughTemporaryFile(target, bytes, createError);
    if (!result.ok && target.exists && (createError == EACCES || createError == EPERM))
        return RewriteInPlace(target, bytes, createError);
    return result;
}

ReadResult ReadFileStart(const char* name, std::size_t maxBytes)
{
    ReadResult result;
    const auto fail = [&](const QString& reason) {
        result.status = ReadResult::Failed;
        result.reason = reason;
        result.bytes.clear();
        return result;
    };
    // What the name leads to is looked at before it is opened: opening a
    // named pipe or a device may block or act.
    struct stat st {};
    if (Step(FileStep::Inspect, [&] { return ::stat(name, &st); }) != 0) {
        if (errno == ENOENT) {
            result.status = ReadResult::Missing;
            return result;
        }
        return fail(SystemReason(errno));
    }
    if (!S_ISREG(st.st_mode))
        return fail(QStringLiteral("it is not a file"));
    Fd fd(Step(FileStep::Open, [&] { return ::open(name, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY); }));
    if (fd.Get() < 0)
        return fail(SystemReason(errno));
    if (Step(FileStep::Inspect, [&] { return ::fstat(fd.Get(), &st); }) != 0)
        return fail(SystemReason(errno));
    if (!S_ISREG(st.st_mode))
        return fail(QStringLiteral("it is not a file"));

    result.bytes.resize(maxBytes);
    std::size_t got = 0;
    while (got < maxBytes) {
        const ssize_t n = Step(FileStep::Read, [&] { return ::read(fd.Get(), &result.bytes[got], maxBytes - got); });
        if (n < 0)
            return fail(SystemReason(errno));
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    result.bytes.resize(got);
    result.status = ReadResult::Read;
    // Closing a file that was only read loses nothing: its result is not needed.
    return result;
}

FileStepHook SetFileStepHook(FileStepHook hook)
{
    return std::exchange(Hook(), std::move(hook));
}

} // namespace platform
