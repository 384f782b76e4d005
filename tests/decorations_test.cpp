// Whether the compositor draws the title bars is asked in one registry round
// trip. Here a stand-in compositor on a socket of the test's own answers it:
// with or without the decoration manager among its globals, by hanging up,
// or not at all. (The real compositors are asked in the desktop tests: Weston
// without the manager, sway with it.)

#include "platform/internal/Decorations.h"

#include <QByteArray>
#include <QTemporaryDir>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;

// The bound of every wait here: for a hang only.
constexpr auto kHang = 30s;

enum class Behaviour { Announce, HangUp, Silent };

// One Wayland message in the wire format: the object, the size and opcode,
// then the arguments, in the host's byte order.
class Message {
public:
    Message(std::uint32_t object, std::uint16_t opcode) : m_object(object), m_opcode(opcode) {}
    Message& Uint(std::uint32_t value)
    {
        const auto* bytes = reinterpret_cast<const char*>(&value);
        m_args.insert(m_args.end(), bytes, bytes + 4);
        return *this;
    }
    Message& String(const std::string& text)
    {
        Uint(static_cast<std::uint32_t>(text.size() + 1));
        m_args.insert(m_args.end(), text.begin(), text.end());
        m_args.resize(m_args.size() + 4 - text.size() % 4, '\0');   // the NUL, padded to 4
        return *this;
    }
    std::vector<char> Bytes() const
    {
        std::vector<char> out;
        const std::uint32_t header[2] = {m_object, static_cast<std::uint32_t>((8 + m_args.size()) << 16) | m_opcode};
        const auto* bytes = reinterpret_cast<const char*>(header);
        out.insert(out.end(), bytes, bytes + 8);
        out.insert(out.end(), m_args.begin(), m_args.end());
        return out;
    }

private:
    std::uint32_t m_object;
    std::uint16_t m_opcode;
    std::vector<char> m_args;
};

bool Readable(int fd)
{
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, static_cast<int>(std::chrono::milliseconds(kHang).count())) > 0;
}

// A compositor that takes one client on a socket in a scratch folder, and
// is pointed to by WAYLAND_DISPLAY while it lives.
class StandInCompositor {
public:
    StandInCompositor(Behaviour behaviour, std::vector<std::string> globals)
        : m_path(m_dir.filePath(QStringLiteral("wayland-test")).toStdString()),
          m_previous(qgetenv("WAYLAND_DISPLAY")), m_hadPrevious(qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))
    {
        m_listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, m_path.c_str(), sizeof address.sun_path - 1);
        m_listening = m_listener >= 0 && bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
            && listen(m_listener, 1) == 0;
        qputenv("WAYLAND_DISPLAY", QByteArray::fromStdString(m_path));
        if (m_listening)
            m_thread = std::thread([this, behaviour, globals = std::move(globals)] { Serve(behaviour, globals); });
    }

    ~StandInCompositor()
    {
        if (m_thread.joinable())
            m_thread.join();
        if (m_listener >= 0)
            close(m_listener);
        if (m_hadPrevious)
            qputenv("WAYLAND_DISPLAY", m_previous);
        else
            qunsetenv("WAYLAND_DISPLAY");
    }

    bool Listening() const { return m_listening; }

private:
    void Serve(Behaviour behaviour, const std::vector<std::string>& globals)
    {
        if (!Readable(m_listener))
            return;
        const int client = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            return;
        if (behaviour == Behaviour::Announce) {
            // The client's wl_display.get_registry (new id 2) and
            // wl_display.sync (new id 3), 12 bytes each.
            std::size_t got = 0;
            char request[24];
            while (got < sizeof request && Readable(client)) {
                const ssize_t n = read(client, request + got, sizeof request - got);
                if (n <= 0)
                    break;
                got += static_cast<std::size_t>(n);
            }
            std::vector<char> answer;
            std::uint32_t name = 1;
            for (const std::string& global : globals) {
                const std::vector<char> event = Message(2, 0).Uint(name++).String(global).Uint(1).Bytes();
                answer.insert(answer.end(), event.begin(), event.end());
            }
            const std::vector<char> done = Message(3, 0).Uint(1).Bytes();
            answer.insert(answer.end(), done.begin(), done.end());
            if (write(client, answer.data(), answer.size()) != static_cast<ssize_t>(answer.size()))
                ADD_FAILURE() << "the answer could not be sent: " << std::strerror(errno);
        }
        // Until the client lets go (at once for a compositor that hangs up).
        if (behaviour != Behaviour::HangUp) {
            char ignored[256];
            while (Readable(client) && read(client, ignored, sizeof ignored) > 0) {
            }
        }
        close(client);
    }

    QTemporaryDir m_dir;
    std::string m_path;
    QByteArray m_previous;
    bool m_hadPrevious;
    int m_listener = -1;
    bool m_listening = false;
    std::thread m_thread;
};

bool HasClientLibrary()
{
    void* library = dlopen("libwayland-client.so.0", RTLD_NOW | RTLD_LOCAL);
    if (library)
        dlclose(library);
    return library != nullptr;
}

} // namespace

TEST(CompositorDecorations, TheAnswerIsWhetherTheDecorationManagerIsAnnounced)
{
    if (!HasClientLibrary())
        GTEST_SKIP() << "the Wayland client library is not installed (scripts/deps.sh test installs qt6-wayland)";
    const struct {
        const char* what;
        Behaviour behaviour;
        std::vector<std::string> globals;
        std::chrono::milliseconds bound;
        bool expected;
    } cases[] = {
        {"announced among others", Behaviour::Announce,
         {"wl_compositor", "xdg_wm_base", "zxdg_decoration_manager_v1", "wl_seat"}, kHang, true},
        {"only the KDE manager, which Qt does not use", Behaviour::Announce,
         {"wl_compositor", "xdg_wm_base", "org_kde_kwin_server_decoration_manager"}, kHang, false},
        {"a name that merely begins like it", Behaviour::Announce, {"zxdg_decoration_manager_v1_extra"}, kHang, false},
        {"no globals at all", Behaviour::Announce, {}, kHang, false},
        {"the compositor hangs up", Behaviour::HangUp, {}, kHang, false},
        // Never answers: the question gives up at its bound.
        {"the compositor says nothing", Behaviour::Silent, {}, 200ms, false},
    };
    for (const auto& c : cases) {
        StandInCompositor compositor(c.behaviour, c.globals);
        ASSERT_TRUE(compositor.Listening()) << std::strerror(errno);
        EXPECT_EQ(platform::AnnouncesDecorationManager(c.bound), c.expected) << c.what;
    }
}

TEST(CompositorDecorations, NoCompositorMeansNoAnswer)
{
    if (!HasClientLibrary())
        GTEST_SKIP() << "the Wayland client library is not installed (scripts/deps.sh test installs qt6-wayland)";
    QTemporaryDir dir;
    const QByteArray previous = qgetenv("WAYLAND_DISPLAY");
    const bool hadPrevious = qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
    qputenv("WAYLAND_DISPLAY", dir.filePath(QStringLiteral("wayland-none")).toLocal8Bit());
    EXPECT_FALSE(platform::AnnouncesDecorationManager(kHang));
    if (hadPrevious)
        qputenv("WAYLAND_DISPLAY", previous);
    else
        qunsetenv("WAYLAND_DISPLAY");
}
