// The player's data folder: found by the base-directory rules from the
// environment and the user database, made with plain system calls, every
// result checked, and entered; and the folder the process started in, held
// open to go back to. Paths and folders only: it knows nothing of the files
// the game keeps there.

#include "platform/DataFolder.h"
#include "platform/FileStore.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace platform {

namespace {

// A path without the slashes it ends with; "/" stays itself.
std::string WithoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

bool IsAbsolute(const char* path) { return path && path[0] == '/'; }

// The home folder the user database gives this user, or "".
std::string HomeFromUserDatabase()
{
    const long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384);
    // An entry larger than this is no entry.
    constexpr std::size_t kMostBuffer = 1 << 20;
    for (;;) {
        passwd entry{};
        passwd* found = nullptr;
        const int error = ::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found);
        if (error == ERANGE && buffer.size() < kMostBuffer) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (error != 0 || !found || !IsAbsolute(found->pw_dir))
            return {};
        return WithoutTrailingSlashes(found->pw_dir);
    }
}

// The parts of a relative path, in order; empty parts and "." left out.
std::vector<std::string> Parts(const std::string& path)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        std::string part = path.substr(start, end - start);
        if (!part.empty() && part != ".")
            parts.push_back(std::move(part));
        start = end + 1;
    }
    return parts;
}

// A folder descriptor that closes itself.
class Folder {
public:
    explicit Folder(int fd) : m_fd(fd) {}
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    ~Folder() { Reset(-1); }
    int Get() const { return m_fd; }
    void Reset(int fd)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd;
};

} // namespace

std::string DataFolder::Path() const
{
    if (base.empty() || below.empty())
        return base;
    return base == "/" ? "/" + below : base + "/" + below;
}

DataFolder FindDataFolder(const char* name)
{
    DataFolder folder;
    const char* home = std::getenv("HOME");
    folder.home = IsAbsolute(home) ? WithoutTrailingSlashes(home) : HomeFromUserDatabase();
    if (const char* dataHome = std::getenv("XDG_DATA_HOME"); IsAbsolute(dataHome)) {
        // Where the data home is missing, it is made too; it need not lie in
        // the home folder.
        folder.base = "/";
        folder.below = WithoutTrailingSlashes(dataHome).substr(1);
        folder.below += folder.below.empty() ? name : std::string("/") + name;
        return folder;
    }
    if (folder.home.empty()) {
        folder.reason = QStringLiteral("no home folder is known (HOME is not set)");
        if (home && *home)
            folder.reason = QStringLiteral("no home folder is known (HOME is not an absolute path)");
        return folder;
    }
    folder.base = folder.home;
    folder.below = std::string(".local/share/") + name;
    return folder;
}

bool EnterDataFolder(const DataFolder& folder, QString& reason)
{
    if (folder.base.empty()) {
        reason = folder.reason;
        return false;
    }
    const auto fail = [&](int error) {
        reason = SystemReason(error);
        return false;
    };
    Folder at(::open(folder.base.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (at.Get() < 0)
        return fail(errno);
    for (const std::string& part : Parts(folder.below)) {
        int next = ::openat(at.Get(), part.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (next < 0 && errno == ENOENT) {
            // Made with the player's permissions alone; the mask of the
            // process may take more away, so the mode is set once more.
            if (::mkdirat(at.Get(), part.c_str(), 0700) == 0) {
                if (::fchmodat(at.Get(), part.c_str(), 0700, 0) != 0)
                    return fail(errno);
            } else if (errno != EEXIST) {
                return fail(errno);
            }
            next = ::openat(at.Get(), part.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        }
        if (next < 0)
            return fail(errno);
        at.Reset(next);
    }
    // A folder of another user's would hold the player's scores where that
    // user decides what stands under their name.
    struct stat st {};
    if (::fstat(at.Get(), &st) != 0)
        return fail(errno);
    if (st.st_uid != ::geteuid()) {
        reason = QStringLiteral("it belongs to another user");
        return false;
    }
    if (::fchdir(at.Get()) != 0)
        return fail(errno);
    return true;
}

StartFolder::StartFolder() : m_fd(::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC))
{
    if (char* path = ::getcwd(nullptr, 0)) {
        m_path = path;
        std::free(path);
    }
}

StartFolder::~StartFolder()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool StartFolder::Return() const { return m_fd >= 0 && ::fchdir(m_fd) == 0; }

} // namespace platform
