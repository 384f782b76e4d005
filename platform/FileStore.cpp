// Reading and replacing a file with plain system calls, every result
// checked, under a lock on its folder, following only the links that may be
// trusted. Bytes and paths only: it knows nothing of what the file holds.

#include "platform/FileStore.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <cwchar>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace platform {

namespace {

FileStepHook& Hook()
{
    static FileStepHook hook;
    return hook;
}

std::chrono::milliseconds& Patience()
{
    static std::chrono::milliseconds patience{5000};
    return patience;
}

// The error number the tests' hook makes a step fail with, or 0.
int InjectedError(FileStep step)
{
    const FileStepHook& hook = Hook();
    return hook ? hook(step) : 0;
}

// Runs one step: the hook may fail it first; a call cut short by a signal
// is made again. The call's result, with errno set when it failed.
template <typename Call>
auto Step(FileStep step, Call call)
{
    if (const int error = InjectedError(step)) {
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
    if (const int error = InjectedError(FileStep::Close)) {
        ::close(fd);
        errno = error;
        return -1;
    }
    return ::close(fd);
}

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

// Where a path leads: the file `name` in `folder`, as it stands (`info`)
// when it exists. `name` is never a link.
struct Place {
    Fd folder;
    std::string name;
    bool exists = false;
    struct stat info {};
    int links = 0;   // links followed to get here
    // The folder is open for reading, as a lock and a sync need it, rather
    // than only passed through (see OpenFolderItself).
    bool folderOpen = false;
};

// Why a walk along a path stopped short: a system error, or our words.
struct Stop {
    int error = 0;
    const char* text = nullptr;
};

constexpr int kMostLinks = 40;

// Puts the parts of `path` on `parts`, the first one last: the next to walk.
void PushParts(std::vector<std::string>& parts, std::string_view path)
{
    std::vector<std::string> split;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos)
            end = path.size();
        const std::string_view part = path.substr(start, end - start);
        if (!part.empty() && part != ".")
            split.emplace_back(part);
        start = end + 1;
    }
    parts.insert(parts.end(), split.rbegin(), split.rend());
}

// Walks `path` from the current folder part by part, each folder opened
// without following a link, and each link followed only where its owner
// may aim it (see ReplaceFileContents), to the folder that holds the last
// part and what stands under that name there, which is not a link.
bool Walk(const char* path, Place& place, Stop& stop)
{
    const auto fail = [&](int error) {
        stop = {error, nullptr};
        return false;
    };
    const std::string_view whole(path);
    const char* start = whole.starts_with('/') ? "/" : ".";
    place.folder = Fd(Step(FileStep::OpenFolder, [&] { return ::open(start, O_PATH | O_DIRECTORY | O_CLOEXEC); }));
    if (place.folder.Get() < 0)
        return fail(errno);
    std::vector<std::string> parts;
    PushParts(parts, whole);
    if (parts.empty())
        parts.emplace_back(".");
    place.links = 0;
    while (!parts.empty()) {
        const std::string part = std::move(parts.back());
        parts.pop_back();
        const bool last = parts.empty();
        struct stat st {};
        if (Step(FileStep::Inspect, [&] {
                return ::fstatat(place.folder.Get(), part.c_str(), &st, AT_SYMLINK_NOFOLLOW);
            }) != 0) {
            if (errno != ENOENT || !last)
                return fail(errno);
            place.name = part;
            place.exists = false;
            return true;
        }
        if (S_ISLNK(st.st_mode)) {
            if (++place.links > kMostLinks)
                return fail(ELOOP);
            // The link that stands for the file must be the user's own; on
            // the way to a folder, root's links are trusted as well.
            if (st.st_uid != ::geteuid() && (last || st.st_uid != 0)) {
                stop = {0, "it is a link that another user made"};
                return false;
            }
            char buffer[PATH_MAX];
            const ssize_t length = Step(FileStep::Inspect, [&] {
                return ::readlinkat(place.folder.Get(), part.c_str(), buffer, sizeof buffer);
            });
            if (length < 0)
                return fail(errno);
            if (static_cast<std::size_t>(length) == sizeof buffer)
                return fail(ENAMETOOLONG);
            const std::string_view target(buffer, static_cast<std::size_t>(length));
            if (target.starts_with('/')) {
                place.folder = Fd(Step(FileStep::Inspect, [] { return ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC); }));
                if (place.folder.Get() < 0)
                    return fail(errno);
            }
            const std::size_t before = parts.size();
            PushParts(parts, target);
            if (parts.size() == before && last)
                parts.emplace_back(".");
            continue;
        }
        if (last) {
            place.name = part;
            place.exists = true;
            place.info = st;
            return true;
        }
        if (!S_ISDIR(st.st_mode))
            return fail(ENOTDIR);
        Fd next(Step(FileStep::Inspect, [&] {
            return ::openat(place.folder.Get(), part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }));
        if (next.Get() < 0)
            return fail(errno);
        place.folder = std::move(next);
    }
    return fail(ENOENT);
}

// Opens the folder of `place` for reading, which a lock and a sync need.
bool OpenFolderItself(Place& place)
{
    Fd folder(Step(FileStep::OpenFolder, [&] {
        return ::openat(place.folder.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }));
    if (folder.Get() < 0)
        return false;
    place.folder = std::move(folder);
    place.folderOpen = true;
    return true;
}

// Errors of a file system that offers no locks (or none on folders).
bool NoLocksHere(int error)
{
    return error == ENOLCK || error == EOPNOTSUPP || error == ENOTSUP || error == EINVAL || error == EBADF;
}

// Takes the lock on the folder `folder` (LOCK_SH or LOCK_EX), waiting up to
// the patience for another holder to let go. `held`: whether a lock is held
// now; false where the file system offers none, which is no failure.
bool TakeLock(int folder, int operation, bool& held, QString& reason)
{
    held = false;
    if (const int error = InjectedError(FileStep::Lock)) {
        reason = SystemReason(error);
        return false;
    }
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + Patience();
    Clock::duration pause = std::chrono::milliseconds(1);
    for (;;) {
        if (::flock(folder, operation | LOCK_NB) == 0) {
            held = true;
            return true;
        }
        const int error = errno;
        if (error == EINTR)
            continue;
        if (NoLocksHere(error))
            return true;
        if (error != EWOULDBLOCK) {
            reason = SystemReason(error);
            return false;
        }
        const Clock::time_point now = Clock::now();
        if (now >= deadline) {
            reason = QStringLiteral("another game has kept it locked for over %1 seconds")
                         .arg(static_cast<double>(Patience().count()) / 1000.0);
            return false;
        }
        std::this_thread::sleep_for(std::min(pause, deadline - now));
        pause = std::min<Clock::duration>(pause * 2, std::chrono::milliseconds(20));
    }
}

// Looks again at what stands under the name, now that the lock is held: a
// game that saved meanwhile has put a new file there.
bool Reinspect(Place& place)
{
    struct stat st {};
    if (Step(FileStep::Inspect, [&] {
            return ::fstatat(place.folder.Get(), place.name.c_str(), &st, AT_SYMLINK_NOFOLLOW);
        }) != 0) {
        if (errno != ENOENT)
            return false;
        place.exists = false;
        return true;
    }
    place.exists = true;
    place.info = st;
    return true;
}

ReadResult ReadFailure(const QString& reason)
{
    ReadResult result;
    result.status = ReadResult::Failed;
    result.reason = reason;
    return result;
}

// Reads at most `maxBytes` of the file at `place`.
ReadResult ReadAt(const Place& place, std::size_t maxBytes)
{
    ReadResult result;
    if (!place.exists) {
        result.status = ReadResult::Missing;
        return result;
    }
    // Opening a named pipe or a device may block or act: only a regular
    // file is opened.
    if (!S_ISREG(place.info.st_mode))
        return ReadFailure(QStringLiteral("it is not a file"));
    Fd fd(Step(FileStep::Open, [&] {
        return ::openat(place.folder.Get(), place.name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    }));
    if (fd.Get() < 0)
        return ReadFailure(SystemReason(errno));
    struct stat st {};
    if (Step(FileStep::Inspect, [&] { return ::fstat(fd.Get(), &st); }) != 0)
        return ReadFailure(SystemReason(errno));
    if (!S_ISREG(st.st_mode))
        return ReadFailure(QStringLiteral("it is not a file"));

    result.bytes.resize(maxBytes);
    std::size_t got = 0;
    while (got < maxBytes) {
        const ssize_t n = Step(FileStep::Read, [&] { return ::read(fd.Get(), &result.bytes[got], maxBytes - got); });
        if (n < 0)
            return ReadFailure(SystemReason(errno));
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    result.bytes.resize(got);
    result.status = ReadResult::Read;
    // Closing a file that was only read loses nothing: its result is not needed.
    return result;
}

// Temporary files are named after the file, this mark and six letters or
// digits: a name no player gives a copy of their own, so that a leftover of
// a killed save is known for one.
constexpr std::string_view kTemporaryMark = ".saving-";
constexpr char kTemporaryLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
constexpr std::size_t kTemporaryRandom = 6;

std::string TemporaryName(const std::string& name)
{
    // Names need not be unpredictable, only rarely taken: O_EXCL refuses a
    // taken one and another is drawn.
    static std::mt19937 random(static_cast<unsigned>(::getpid())
                               ^ static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::string temp = name;
    temp += kTemporaryMark;
    for (std::size_t k = 0; k < kTemporaryRandom; ++k)
        temp += kTemporaryLetters[random() % (sizeof kTemporaryLetters - 1)];
    return temp;
}

bool IsTemporaryName(std::string_view candidate, const std::string& name)
{
    if (candidate.size() != name.size() + kTemporaryMark.size() + kTemporaryRandom || !candidate.starts_with(name)
        || candidate.substr(name.size(), kTemporaryMark.size()) != kTemporaryMark)
        return false;
    const std::string_view letters(kTemporaryLetters, sizeof kTemporaryLetters - 1);
    return std::all_of(candidate.end() - kTemporaryRandom, candidate.end(),
                       [&](char c) { return letters.find(c) != std::string_view::npos; });
}

// Removes the temporary files that saves of this file, killed part way,
// left in its folder: regular files of this user, with one name each, named
// as TemporaryName names them. Runs only while the exclusive lock is held,
// which every save holds for as long as its temporary file exists, so that
// any such file is a leftover. Whatever fails here fails no save.
void RemoveLeftovers(const Place& place)
{
    const int listing = ::openat(place.folder.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0)
        return;
    DIR* folder = ::fdopendir(listing);
    if (!folder) {
        ::close(listing);
        return;
    }
    std::vector<std::string> leftovers;
    while (const dirent* entry = ::readdir(folder)) {
        if (!IsTemporaryName(entry->d_name, place.name))
            continue;
        struct stat st {};
        if (::fstatat(listing, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)
            && st.st_uid == ::geteuid() && st.st_nlink == 1)
            leftovers.emplace_back(entry->d_name);
    }
    for (const std::string& leftover : leftovers)
        ::unlinkat(listing, leftover.c_str(), 0);
    ::closedir(folder);
}

// Writes the new contents to a temporary file beside the target and puts
// it in the target's place. `createError` tells whether the temporary file
// could not be made, and why.
FileResult ReplaceThroughTemporaryFile(const Place& target, std::string_view bytes, int& createError)
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
    // it to a crash, and the player is told so. One that could not be opened
    // cannot be synced at all: a crash may then bring back the old table,
    // whole, as it may on a file system that offers no sync.
    if (target.folderOpen && !Synced(Step(FileStep::SyncFolder, [&] { return ::fsync(folder); }))) {
        FileResult result = Failure(errno);
        result.written = true;
        return result;
    }
    return {true, {}, true};
}

// Puts the old contents back after a failed rewrite in place, as far as
// the system lets it.
void Restore(const Place& target, const std::string& old)
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
// if any step fails. The exclusive lock keeps readers away meanwhile.
FileResult RewriteInPlace(const Place& target, std::string_view bytes, int createError)
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
    return {true, {}, true};
}

// A link that led to no file, for a writer.
constexpr const char* kDanglingLink = "it is a link to a file that does not exist";

// Walks to the file a save may replace, or to the free name where it may
// make one, and takes the folder's exclusive lock (`locked`: whether one is
// held; never in a folder this user may not list). The lock is held for as
// long as `place.folder` stays open.
FileResult TakeForWriting(const char* path, Place& place, bool& locked)
{
    Stop stop;
    if (!Walk(path, place, stop)) {
        if (stop.text)
            return Failure(stop.text);
        return stop.error == ENOENT && place.links > 0 ? Failure(kDanglingLink) : Failure(stop.error);
    }
    const auto refusal = [&]() -> FileResult {
        if (!place.exists && place.links > 0)
            return Failure(kDanglingLink);
        if (place.exists && !S_ISREG(place.info.st_mode))
            return Failure("it is not a regular file");
        return {true, {}};
    };
    if (FileResult fit = refusal(); !fit.ok)
        return fit;
    if (!OpenFolderItself(place)) {
        // A folder this user may write and pass through but not list cannot
        // be opened, so they cannot lock it: the save goes on without the
        // lock, as the load does. Its rename still puts the whole new table
        // in place at once.
        if (errno != EACCES)
            return Failure(errno);
        return {true, {}};
    }
    QString reason;
    if (!TakeLock(place.folder.Get(), LOCK_EX, locked, reason))
        return {false, reason};
    if (!Reinspect(place))
        return Failure(errno);
    return refusal();
}

// Takes the file for writing, under the exclusive lock, and writes what
// `decide` makes of what stands there now.
FileResult Write(const char* name, const std::function<Update(const Place& target)>& decide)
{
    Place target;
    bool locked = false;
    if (FileResult taken = TakeForWriting(name, target, locked); !taken.ok)
        return taken;
    const Update update = decide(target);
    if (!update.write)
        return {false, update.reason};

    // A file this process may not write is not replaced either.
    if (target.exists
        && Step(FileStep::Inspect, [&] {
               return ::faccessat(target.folder.Get(), target.name.c_str(), W_OK, AT_EACCESS);
           }) != 0)
        return Failure(errno);
    if (locked)
        RemoveLeftovers(target);

    int createError = 0;
    FileResult result = ReplaceThroughTemporaryFile(target, update.bytes, createError);
    // A rewrite in place would be seen half done by a load that takes no
    // lock, as loads in a folder that cannot be opened do: none is made there.
    if (!result.ok && target.exists && target.folderOpen && (createError == EACCES || createError == EPERM))
        return RewriteInPlace(target, update.bytes, createError);
    return result;
}

} // namespace

QString SystemReason(int error)
{
    // strerror() speaks the locale's character set, which need not be
    // UTF-8, the only one Qt's 8-bit conversion knows on this system. A
    // byte the locale cannot read is taken as Latin-1.
    const char* text = std::strerror(error);
    std::size_t left = std::strlen(text);
    QString reason;
    std::mbstate_t state{};
    while (left > 0) {
        wchar_t c = 0;
        const std::size_t n = std::mbrtowc(&c, text, left, &state);
        if (n == static_cast<std::size_t>(-1) || n == static_cast<std::size_t>(-2)) {
            reason += QChar(static_cast<unsigned char>(*text));
            ++text;
            --left;
            state = std::mbstate_t{};
            continue;
        }
        if (n == 0)
            break;
        reason += QString::fromWCharArray(&c, 1);
        text += n;
        left -= n;
    }
    return reason;
}

FileResult ReplaceFileContents(const char* name, std::string_view bytes)
{
    return Write(name, [bytes](const Place&) { return Update{true, std::string(bytes), {}}; });
}

FileResult UpdateFileContents(const char* name, std::size_t maxBytes,
                              const std::function<Update(const ReadResult& now)>& decide)
{
    return Write(name, [&](const Place& target) { return decide(ReadAt(target, maxBytes)); });
}

ReadResult ReadFileStart(const char* name, std::size_t maxBytes)
{
    Place place;
    Stop stop;
    if (!Walk(name, place, stop)) {
        if (stop.text)
            return ReadFailure(QString::fromUtf8(stop.text));
        if (stop.error == ENOENT) {
            ReadResult missing;
            missing.status = ReadResult::Missing;
            return missing;
        }
        return ReadFailure(SystemReason(stop.error));
    }
    if (place.exists && S_ISREG(place.info.st_mode)) {
        // A folder this user may pass through but not list cannot be locked
        // by them; any game that saves there can, and saves whole files.
        if (OpenFolderItself(place)) {
            bool locked = false;
            QString reason;
            if (!TakeLock(place.folder.Get(), LOCK_SH, locked, reason))
                return ReadFailure(reason);
            if (!Reinspect(place))
                return ReadFailure(SystemReason(errno));
        } else if (errno != EACCES) {
            return ReadFailure(SystemReason(errno));
        }
    }
    return ReadAt(place, maxBytes);
}

std::chrono::milliseconds SetLockPatience(std::chrono::milliseconds patience)
{
    return std::exchange(Patience(), patience);
}

FileStepHook SetFileStepHook(FileStepHook hook)
{
    return std::exchange(Hook(), std::move(hook));
}

} // namespace platform
