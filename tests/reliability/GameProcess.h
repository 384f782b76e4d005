#pragma once
// Games in processes of their own, sharing one folder as two windows of a
// family's desktop do. Each holds a table as the game does, loads it and
// admits scores when the test says so; where the test chooses the moments,
// it reports every step of its file operations on a pipe shared by all the
// games and waits at each step until the test lets it go on. Every wait of
// the test is bounded, for a hang only.

#include "highscores/HighScoreDlg.h"
#include "platform/FileStore.h"
#include "support/TestSupport.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace reliability {

// A bound that only a hung process reaches.
constexpr int kHangMs = 120000;

// One step a game reports: which game, and the step it is about to take.
struct GameEvent {
    char game = 0;
    platform::FileStep step = platform::FileStep::OpenFolder;
};

// What a game answers to a command: the messages it showed, and its table
// afterwards (the list it shows).
struct GameAnswer {
    bool ok = false;   // false: the game is gone, or did not answer in time
    bool qualified = false;   // after an admit: the score was admitted
    std::vector<std::string> messages;
    std::vector<std::string> names;
    std::vector<std::uint32_t> scores;
};

namespace detail {

inline bool WriteWhole(int fd, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Waits until `fd` has something to read (or its writer is gone); false
// after the hang bound.
inline bool Readable(int fd)
{
    pollfd p{fd, POLLIN, 0};
    int n;
    do
        n = ::poll(&p, 1, kHangMs);
    while (n < 0 && errno == EINTR);
    return n == 1;
}

// Reads a line; false at the end or after the hang bound.
inline bool ReadLine(int fd, std::string& line)
{
    line.clear();
    for (;;) {
        if (!Readable(fd))
            return false;
        char c;
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n != 1)
            return false;
        if (c == '\n')
            return true;
        line.push_back(c);
    }
}

} // namespace detail

class GameProcess {
public:
    // Starts game `id` ('A', 'B', ...) in a child process, in the current
    // folder. `events`: the write end of the pipe its gated steps are
    // reported on (-1 for none). `setup` runs first in the child (to give
    // up root, say); a text it returns ends the child with that complaint.
    GameProcess(char id, int events, const std::function<std::string()>& setup = {}) : m_id(id)
    {
        // A game that is gone must not take the test with it.
        ::signal(SIGPIPE, SIG_IGN);
        int commands[2], answers[2], go[2];
        if (::pipe(commands) != 0 || ::pipe(answers) != 0 || ::pipe(go) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(commands[1]);
            ::close(answers[0]);
            ::close(go[1]);
            // The other games' pipes stay with the test: a game must see
            // its own input end when the test closes it.
            for (const int fd : TestEnds())
                ::close(fd);
            RunChild(commands[0], answers[1], go[0], events, setup);
        }
        ::close(commands[0]);
        ::close(answers[1]);
        ::close(go[0]);
        m_commands = commands[1];
        m_answers = answers[0];
        m_go = go[1];
        TestEnds().insert(TestEnds().end(), {m_commands, m_answers, m_go});
    }
    ~GameProcess()
    {
        Kill();
        for (const int fd : {m_commands, m_answers, m_go})
            CloseTestEnd(fd);
    }
    GameProcess(const GameProcess&) = delete;
    GameProcess& operator=(const GameProcess&) = delete;

    bool Started() const { return m_pid > 0; }
    char Id() const { return m_id; }
    int AnswerFd() const { return m_answers; }

    // Commands; each is answered once through Answer(). A gated command
    // reports each step and waits at it for Let().
    void Load(bool gated = false) { Send(std::string(gated ? "L" : "l") + "\n"); }
    void Admit(std::uint32_t score, const std::string& name, bool gated = false)
    {
        Send(std::string(gated ? "S " : "s ") + std::to_string(score) + " " + name + "\n");
    }

    GameAnswer Answer()
    {
        GameAnswer answer;
        std::string line;
        while (detail::ReadLine(m_answers, line)) {
            if (line == ".") {
                answer.ok = true;
                return answer;
            }
            if (line == "Q") {
                answer.qualified = true;
            } else if (line.rfind("M ", 0) == 0) {
                answer.messages.push_back(line.substr(2));
            } else if (line.rfind("T ", 0) == 0) {
                const std::size_t blank = line.find(' ', 2);
                answer.scores.push_back(static_cast<std::uint32_t>(std::stoul(line.substr(2, blank - 2))));
                answer.names.push_back(line.substr(blank + 1));
            }
        }
        return answer;
    }

    // Lets the game go on from the step it waits at.
    void Let()
    {
        const char go = 1;
        detail::WriteWhole(m_go, std::string(1, go));
    }

    void Kill()
    {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGKILL);
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_pid = -1;
    }

    // Ends the game as a player would: its input closes and it leaves.
    // True when it left by itself, with status 0.
    bool Quit()
    {
        CloseTestEnd(m_commands);
        m_commands = -1;
        int status = 0;
        pid_t done;
        do
            done = ::waitpid(m_pid, &status, 0);
        while (done < 0 && errno == EINTR);
        m_pid = -1;
        return done > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

private:
    // The test's ends of every game's pipes.
    static std::vector<int>& TestEnds()
    {
        static std::vector<int> ends;
        return ends;
    }
    static void CloseTestEnd(int fd)
    {
        if (fd < 0)
            return;
        std::erase(TestEnds(), fd);
        ::close(fd);
    }

    void Send(const std::string& command) { detail::WriteWhole(m_commands, command); }

    [[noreturn]] void RunChild(int commands, int answers, int go, int events,
                               const std::function<std::string()>& setup)
    {
        if (setup) {
            const std::string problem = setup();
            if (!problem.empty()) {
                detail::WriteWhole(answers, "M setup: " + problem + "\n.\n");
                ::_exit(3);
            }
        }
        // Another game's lock is waited for as long as it takes: the test
        // sets the pace, and a slow machine must not make a game give up.
        platform::SetLockPatience(std::chrono::milliseconds(kHangMs));
        bool gated = false;
        platform::SetFileStepHook([&](platform::FileStep step) {
            if (gated && events >= 0) {
                const char event[2] = {m_id, static_cast<char>(step)};
                char answer = 0;
                if (!detail::WriteWhole(events, std::string(event, 2)) || ::read(go, &answer, 1) != 1)
                    ::_exit(0);   // the test is gone
            }
            return 0;
        });
        {
            CHighScoreDlg table;
            testing_support::ScriptedModal modal;
            std::string line;
            for (;;) {
                line.clear();
                char c;
                ssize_t n;
                while ((n = ::read(commands, &c, 1)) == 1 && c != '\n')
                    line.push_back(c);
                if (n != 1)
                    break;
                gated = line[0] == 'L' || line[0] == 'S';
                modal.messages.clear();
                if (line[0] == 'l' || line[0] == 'L') {
                    table.LoadHighScores();
                } else {
                    const std::size_t blank = line.find(' ', 2);
                    const auto score = static_cast<std::uint32_t>(std::stoul(line.substr(2, blank - 2)));
                    modal.onDialog = testing_support::EnterName(QString::fromLatin1(line.substr(blank + 1).c_str()));
                    table.InsertScore(score);
                }
                gated = false;
                std::string answer = (line[0] == 's' || line[0] == 'S') && table.m_bQualified ? "Q\n" : "";
                for (const QString& message : modal.messages)
                    answer += "M " + message.toStdString() + "\n";
                for (std::size_t k = 0; k < table.m_names.size() && k < table.m_scores.size(); ++k)
                    answer += "T " + std::to_string(table.m_scores[k]) + " " + table.m_names[k] + "\n";
                if (!detail::WriteWhole(answers, answer + ".\n"))
                    break;
            }
        }
        ::_exit(0);
    }

    char m_id;
    pid_t m_pid = -1;
    int m_commands = -1, m_answers = -1, m_go = -1;
};

// The pipe games report their steps on.
class EventPipe {
public:
    EventPipe()
    {
        if (::pipe(m_fds) != 0)
            m_fds[0] = m_fds[1] = -1;
    }
    ~EventPipe()
    {
        ::close(m_fds[0]);
        ::close(m_fds[1]);
    }
    EventPipe(const EventPipe&) = delete;
    EventPipe& operator=(const EventPipe&) = delete;

    int WriteEnd() const { return m_fds[1]; }
    int ReadEnd() const { return m_fds[0]; }

    // The next step reported; false after the hang bound.
    bool Next(GameEvent& event)
    {
        char bytes[2];
        std::size_t got = 0;
        while (got < 2) {
            if (!detail::Readable(m_fds[0]))
                return false;
            const ssize_t n = ::read(m_fds[0], bytes + got, 2 - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            got += static_cast<std::size_t>(n);
        }
        event = {bytes[0], static_cast<platform::FileStep>(bytes[1])};
        return true;
    }

private:
    int m_fds[2];
};

// Which of `fds` has something to read first (or has lost its writer): its
// index, or -1 after the hang bound.
inline int FirstReadable(const std::vector<int>& fds)
{
    std::vector<pollfd> polls;
    for (const int fd : fds)
        polls.push_back({fd, POLLIN, 0});
    int n;
    do
        n = ::poll(polls.data(), polls.size(), kHangMs);
    while (n < 0 && errno == EINTR);
    if (n <= 0)
        return -1;
    for (std::size_t k = 0; k < polls.size(); ++k)
        if (polls[k].revents)
            return static_cast<int>(k);
    return -1;
}

} // namespace reliability
