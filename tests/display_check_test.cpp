// The display check at the start: a window system counts only when it
// answers, within a bound. One that takes the connection and then says
// nothing (a stopped server), or answers with bytes that are no protocol,
// is given up, and Qt is told to start with the next one that answers.
// (The real program against such sockets: tests/e2e/silent_display_test.sh.)

#include "platform/Application.h"
#include "platform/internal/DisplayCheck.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstddef>
#include <memory>
#include <atomic>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>
#include <wayland-server.h>

using namespace std::chrono_literals;

namespace {

// The variables the check reads, cleared for a case and restored after it.
class DisplayEnvironment {
public:
    DisplayEnvironment()
    {
        for (const char* name : kNames) {
            m_saved.push_back(qgetenv(name));
            m_wasSet.push_back(qEnvironmentVariableIsSet(name));
            qunsetenv(name);
        }
    }
    ~DisplayEnvironment()
    {
        for (std::size_t i = 0; i < std::size(kNames); ++i) {
            if (m_wasSet[i])
                qputenv(kNames[i], m_saved[i]);
            else
                qunsetenv(kNames[i]);
        }
    }
    void Set(const std::vector<std::pair<const char*, QByteArray>>& values)
    {
        for (const char* name : kNames)
            qunsetenv(name);
        for (const auto& [name, value] : values)
            qputenv(name, value);
    }

private:
    static constexpr const char* kNames[] = {"QT_QPA_PLATFORM", "XDG_SESSION_TYPE", "DISPLAY", "WAYLAND_DISPLAY",
                                             "WAYLAND_SOCKET", "XDG_RUNTIME_DIR"};
    std::vector<QByteArray> m_saved;
    std::vector<bool> m_wasSet;
};

// A socket that takes connections as a display server's would, and then
// says nothing (Silent) or answers each with text that is no protocol of
// a display server's and keeps it open (Garbage). Listens on a Unix socket
// at a path, on an abstract one (a name that starts with '@'), or on a TCP
// port of the loopback address.
class FakeDisplayServer {
public:
    enum Kind { Silent, Garbage };

    FakeDisplayServer(Kind kind, const std::string& unixName) : m_kind(kind)
    {
        m_listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (m_listener < 0 || unixName.size() >= sizeof address.sun_path)
            return;
        std::memcpy(address.sun_path, unixName.data(), unixName.size());
        socklen_t length = sizeof address;
        if (unixName.front() == '@') {
            address.sun_path[0] = '\0';
            length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + unixName.size());
        }
        Listen(reinterpret_cast<sockaddr*>(&address), length);
    }

    FakeDisplayServer(Kind kind, int tcpPort) : m_kind(kind)
    {
        m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(tcpPort));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (m_listener >= 0)
            Listen(reinterpret_cast<sockaddr*>(&address), sizeof address);
    }

    ~FakeDisplayServer()
    {
        if (m_thread.joinable()) {
            m_stop = true;
            if (write(m_wake[1], "x", 1) < 0) {
            }
            m_thread.join();
        }
        for (int fd : {m_listener, m_wake[0], m_wake[1]})
            if (fd >= 0)
                close(fd);
    }

    bool Listening() const { return m_thread.joinable(); }

private:
    void Listen(const sockaddr* address, socklen_t length)
    {
        if (bind(m_listener, address, length) != 0 || listen(m_listener, 16) != 0 || pipe(m_wake) != 0)
            return;
        m_thread = std::thread([this] { Serve(); });
    }

    void Serve()
    {
        std::vector<int> taken;
        while (!m_stop) {
            pollfd fds[] = {{m_listener, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
            if (poll(fds, 2, -1) < 0 || (fds[1].revents & POLLIN))
                break;
            const int connection = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0)
                continue;
            taken.push_back(connection);
            if (m_kind == Garbage) {
                const std::string text = "HTTP/1.1 400 Bad Request\r\n\r\nThis is no display server.\r\n";
                for (int k = 0; k < 64; ++k)
                    if (send(connection, text.data(), text.size(), MSG_NOSIGNAL) < 0)
                        break;
            }
        }
        for (int connection : taken)
            close(connection);
    }

    Kind m_kind;
    int m_listener = -1;
    int m_wake[2] = {-1, -1};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// A Wayland compositor that answers: the server library's display, with no
// globals of its own, served on a thread of the test.
class AnsweringCompositor {
public:
    explicit AnsweringCompositor(const char* socketName) : m_display(wl_display_create())
    {
        if (m_display && wl_display_add_socket(m_display, socketName) == 0)
            m_thread = std::thread([this] {
                wl_event_loop* loop = wl_display_get_event_loop(m_display);
                while (!m_stop) {
                    wl_event_loop_dispatch(loop, 50);
                    wl_display_flush_clients(m_display);
                }
            });
    }
    ~AnsweringCompositor()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_display)
            wl_display_destroy(m_display);
    }
    bool Serving() const { return m_thread.joinable(); }

private:
    wl_display* m_display;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// An X display number that nobody serves, on the abstract socket X clients
// try first, nor on the file socket.
int FreeDisplayNumber()
{
    for (int number = 473; number < 600; ++number) {
        if (access(("/tmp/.X11-unix/X" + std::to_string(number)).c_str(), F_OK) == 0
            || access(("/tmp/.X" + std::to_string(number) + "-lock").c_str(), F_OK) == 0)
            continue;
        FakeDisplayServer probe(FakeDisplayServer::Silent, "@/tmp/.X11-unix/X" + std::to_string(number));
        if (probe.Listening())
            return number;
    }
    return -1;
}

// Sets the check's patience for the scope.
class Patience {
public:
    explicit Patience(std::chrono::milliseconds patience) : m_previous(platform::SetDisplayPatience(patience)) {}
    ~Patience() { platform::SetDisplayPatience(m_previous); }

private:
    std::chrono::milliseconds m_previous;
};

// Whether `ask` came back within the generous bound that only tells a hang.
template <typename Ask>
platform::DisplayAnswer AskedWithoutHanging(Ask ask, bool& hung)
{
    const auto start = std::chrono::steady_clock::now();
    const platform::DisplayAnswer answer = ask();
    hung = std::chrono::steady_clock::now() - start > 60s;
    return answer;
}

} // namespace

// A compositor that takes the connection and then says nothing is given
// up when the patience is over, and one that answers with bytes that are
// no Wayland protocol does not count either; a name that nobody serves is
// not reached; one that answers is.
TEST(DisplayCheck, OnlyACompositorThatAnswersCounts)
{
    DisplayEnvironment environment;
    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    const QByteArray folder = QFile::encodeName(runtime.path());
    FakeDisplayServer silent(FakeDisplayServer::Silent, (folder + "/wayland-silent").toStdString());
    FakeDisplayServer garbage(FakeDisplayServer::Garbage, (folder + "/wayland-garbage").toStdString());
    qputenv("XDG_RUNTIME_DIR", folder);
    AnsweringCompositor answering("wayland-answers");
    ASSERT_TRUE(silent.Listening() && garbage.Listening() && answering.Serving());

    using platform::DisplayAnswer;
    const struct {
        const char* what;
        QByteArray name;
        std::chrono::milliseconds patience;   // long where an answer may come
        DisplayAnswer expected;
        bool exactly;   // else: anything but it
    } cases[] = {
        {"says nothing", "wayland-silent", 300ms, DisplayAnswer::Silent, true},
        {"says nothing, by path", folder + "/wayland-silent", 300ms, DisplayAnswer::Silent, true},
        {"no protocol", "wayland-garbage", 300ms, DisplayAnswer::Answered, false},
        {"nobody there", "wayland-gone", 30s, DisplayAnswer::NotReached, true},
        {"answers", "wayland-answers", 30s, DisplayAnswer::Answered, true},
        {"answers, by path", folder + "/wayland-answers", 30s, DisplayAnswer::Answered, true},
    };
    for (const auto& c : cases) {
        environment.Set({{"XDG_RUNTIME_DIR", folder}, {"WAYLAND_DISPLAY", c.name}});
        bool hung = false;
        const DisplayAnswer answer = AskedWithoutHanging([&] { return platform::AskCompositor(c.patience); }, hung);
        EXPECT_EQ(answer == c.expected, c.exactly) << c.what << ": " << static_cast<int>(answer);
        EXPECT_FALSE(hung) << c.what;
    }
}

// An X server that takes the connection and then says nothing, or answers
// with text that is no X protocol, does not count as answered once the
// patience is over, whether it is reached by the abstract socket, the file
// socket or TCP.
TEST(DisplayCheck, AnXServerThatSaysNothingOrNoProtocolDoesNotCount)
{
    DisplayEnvironment environment;
    const int number = FreeDisplayNumber();
    ASSERT_GE(number, 0) << "no free X display number";
    const std::string display = ":" + std::to_string(number);
    using platform::DisplayAnswer;
    for (const auto kind : {FakeDisplayServer::Silent, FakeDisplayServer::Garbage}) {
        SCOPED_TRACE(kind == FakeDisplayServer::Silent ? "says nothing" : "no protocol");
        std::vector<std::pair<std::string, std::unique_ptr<FakeDisplayServer>>> servers;
        servers.emplace_back("abstract socket, " + display,
                             std::make_unique<FakeDisplayServer>(kind, "@/tmp/.X11-unix/X" + std::to_string(number)));
        servers.emplace_back("TCP, 127.0.0.1" + display, std::make_unique<FakeDisplayServer>(kind, 6000 + number));
        for (const auto& [what, server] : servers) {
            if (!server->Listening()) {
                ADD_FAILURE() << what << ": the fake server cannot listen";
                continue;
            }
            environment.Set({{"DISPLAY", what.starts_with("TCP") ? QByteArray("127.0.0.1") + display.c_str()
                                                                   : QByteArray(display.c_str())}});
            bool hung = false;
            EXPECT_NE(AskedWithoutHanging([] { return platform::AskXServer(300ms); }, hung), DisplayAnswer::Answered)
                << what;
            EXPECT_FALSE(hung) << what;
        }
        // The file socket, where the abstract one is not served; only where
        // the test may make it.
        const std::string path = "/tmp/.X11-unix/X" + std::to_string(number);
        servers.clear();
        if (access("/tmp/.X11-unix", W_OK) == 0) {
            FakeDisplayServer file(kind, path);
            ASSERT_TRUE(file.Listening());
            environment.Set({{"DISPLAY", QByteArray(display.c_str())}});
            bool hung = false;
            EXPECT_NE(AskedWithoutHanging([] { return platform::AskXServer(300ms); }, hung), DisplayAnswer::Answered)
                << "file socket";
            EXPECT_FALSE(hung);
            unlink(path.c_str());
        }
    }
    // Nobody there at all.
    environment.Set({{"DISPLAY", QByteArray(display.c_str())}});
    EXPECT_EQ(platform::AskXServer(30s), DisplayAnswer::NotReached);
}

TEST(ApplicationStart, NeedsADisplayThatAnswers)
{
    // The program stops with its own message instead of Qt's abort when no
    // window system answers where Qt will look for one.
    DisplayEnvironment environment;
    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    const QByteArray folder = QFile::encodeName(runtime.path());
    qputenv("XDG_RUNTIME_DIR", folder);
    AnsweringCompositor answering("wayland-test");
    FakeDisplayServer silent(FakeDisplayServer::Silent, (folder + "/wayland-silent").toStdString());
    ASSERT_TRUE(answering.Serving() && silent.Listening());
    const QByteArray path = folder + "/wayland-test";
    const Patience patience(30s);

    const struct {
        const char* what;
        std::vector<std::pair<const char*, QByteArray>> env;
        bool expected;
        const char* platform;   // what Qt is told to start with; null: left as it was
    } cases[] = {
        {"no display at all", {}, false, nullptr},
        {"an X display nobody serves", {{"DISPLAY", ":4711"}}, false, nullptr},
        {"a stale Wayland name, no X display", {{"WAYLAND_DISPLAY", "wayland-gone"}}, false, nullptr},
        {"a stale Wayland name and a dead X display", {{"WAYLAND_DISPLAY", "wayland-gone"}, {"DISPLAY", ":4711"}}, false, nullptr},
        {"a Wayland name without a runtime folder", {{"WAYLAND_DISPLAY", "wayland-test"}, {"XDG_RUNTIME_DIR", {}}}, false, nullptr},
        {"a compositor that answers", {{"WAYLAND_DISPLAY", "wayland-test"}}, true, nullptr},
        {"a compositor that answers, by path", {{"WAYLAND_DISPLAY", path}, {"XDG_RUNTIME_DIR", {}}}, true, nullptr},
        {"a connection handed down", {{"WAYLAND_SOCKET", "3"}}, true, nullptr},
        {"an X11 session does not look at Wayland", {{"XDG_SESSION_TYPE", "x11"}, {"WAYLAND_DISPLAY", "wayland-test"}}, false, nullptr},
        {"Wayland chosen by QT_QPA_PLATFORM, stale", {{"QT_QPA_PLATFORM", "wayland"}, {"WAYLAND_DISPLAY", "wayland-gone"}}, false, nullptr},
        {"Wayland chosen by QT_QPA_PLATFORM", {{"QT_QPA_PLATFORM", "wayland"}, {"WAYLAND_DISPLAY", "wayland-test"}}, true, nullptr},
        {"X chosen by QT_QPA_PLATFORM, dead", {{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", ":4711"}, {"WAYLAND_DISPLAY", "wayland-test"}}, false, nullptr},
        {"a platform without a display server", {{"QT_QPA_PLATFORM", "offscreen"}}, true, nullptr},
        {"a stale compositor given up for the next", {{"QT_QPA_PLATFORM", "wayland;offscreen"}, {"WAYLAND_DISPLAY", "wayland-gone"}}, true, "offscreen"},
    };
    for (const auto& c : cases) {
        environment.Set({{"XDG_RUNTIME_DIR", folder}});
        for (const auto& [name, value] : c.env) {
            if (value.isNull())
                qunsetenv(name);
            else
                qputenv(name, value);
        }
        const QByteArray before = qgetenv("QT_QPA_PLATFORM");
        QByteArray why;
        EXPECT_EQ(platform::HasDisplay(why), c.expected) << c.what;
        EXPECT_EQ(qgetenv("QT_QPA_PLATFORM"), c.platform ? QByteArray(c.platform) : before) << c.what;
        if (!c.expected) {
            EXPECT_EQ(why.toStdString(), "no display could be reached") << c.what;
        }
    }

    // A compositor that says nothing is given up, for the next platform
    // where there is one, and named where there is none.
    const Patience brief(300ms);
    environment.Set({{"XDG_RUNTIME_DIR", folder}, {"WAYLAND_DISPLAY", "wayland-silent"}, {"QT_QPA_PLATFORM", "wayland;offscreen"}});
    QByteArray why;
    EXPECT_TRUE(platform::HasDisplay(why));
    EXPECT_EQ(qgetenv("QT_QPA_PLATFORM"), "offscreen");
    environment.Set({{"XDG_RUNTIME_DIR", folder}, {"WAYLAND_DISPLAY", "wayland-silent"}});
    EXPECT_FALSE(platform::HasDisplay(why));
    EXPECT_EQ(why.toStdString(), "the Wayland compositor \"wayland-silent\" did not answer within 0.3 seconds");
}
