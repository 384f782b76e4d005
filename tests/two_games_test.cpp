// Two games in one folder, each a process of its own, as two windows of one
// family's desktop: whatever the order of their loads and saves, and
// wherever one save is held while the other game loads or saves, no
// admitted score is lost unless ten higher ones displaced it, and no game
// reads a table half written.

#include "highscores/HighScoreFile.h"
#include "reliability/ChildProcess.h"
#include "reliability/GameProcess.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <vector>

using namespace testing_support;
using reliability::GameAnswer;
using reliability::GameEvent;
using reliability::GameProcess;

namespace {

struct Entry {
    std::string name;
    std::uint32_t score;
    bool operator==(const Entry&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Entry& entry)
{
    return out << entry.name << ' ' << entry.score;
}

std::string Trimmed(std::string name)
{
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    return name;
}

std::vector<Entry> Entries(const std::vector<std::string>& names, const std::vector<std::uint32_t>& scores)
{
    std::vector<Entry> entries;
    for (std::size_t k = 0; k < names.size() && k < scores.size(); ++k)
        entries.push_back({Trimmed(names[k]), scores[k]});
    return entries;
}

// The table the file holds, names without their padding; empty when it
// fails its check.
std::vector<Entry> FileTable(const ScratchFolder& folder)
{
    const std::string bytes = folder.Read();
    std::vector<std::string> names;
    std::vector<std::uint32_t> scores;
    if (!highscores::ParseHighScores(bytes.data(), bytes.size(), names, scores).Matches())
        return {};
    return Entries(names, scores);
}

std::string TableBytes(const std::vector<Entry>& entries)
{
    std::vector<std::string> names;
    std::vector<std::uint32_t> scores;
    for (const Entry& entry : entries) {
        names.push_back(entry.name);
        scores.push_back(entry.score);
    }
    return highscores::FormatHighScores(names, scores);
}

// A table whose last three ranks hold 0, so that every game's score enters it.
std::vector<Entry> StartTable()
{
    std::vector<Entry> entries;
    for (const std::uint32_t score : {70u, 60u, 50u, 40u, 30u, 20u, 10u, 0u, 0u, 0u})
        entries.push_back({"Old", score});
    return entries;
}

// The best ten of `table` and `added` (no two scores equal across them).
std::vector<Entry> BestTen(std::vector<Entry> table, const std::vector<Entry>& added)
{
    table.insert(table.end(), added.begin(), added.end());
    std::stable_sort(table.begin(), table.end(), [](const Entry& a, const Entry& b) { return a.score > b.score; });
    table.resize(10);
    return table;
}

// The folder as a player who is not root finds it for the save in place:
// no new file can be made there, the table itself may be written. Root
// would make files all the same, so the games give up root.
class ClosedFolder {
public:
    explicit ClosedFolder(const ScratchFolder& folder) : m_path(folder.Path().toLocal8Bit())
    {
        m_ok = chmod("HiScores.ini", 0666) == 0 && chmod(m_path.constData(), 0555) == 0;
    }
    ~ClosedFolder() { chmod(m_path.constData(), 0755); }
    bool Ok() const { return m_ok; }

    // For each game: gives up root, and checks that the folder is closed.
    static std::string Setup()
    {
        if (reliability::RunningAsRoot() && !reliability::DropRoot())
            return reliability::CannotRunHere("running as root, and a child process cannot give up root");
        if (FILE* probe = std::fopen("probe", "w")) {
            std::fclose(probe);
            return "the folder takes new files after all";
        }
        return "";
    }

private:
    QByteArray m_path;
    bool m_ok = false;
};

// An answer that came, without a message; else what was wrong with it (a
// game that cannot run here says so alone).
std::string Quiet(const GameAnswer& answer, const char* what)
{
    if (!answer.ok)
        return std::string(what) + ": no answer";
    if (!answer.messages.empty()) {
        const std::string& said = answer.messages[0];
        const std::string setup = "setup: ";
        if (said.rfind(setup, 0) == 0 && reliability::IsCannotRunHere(said.substr(setup.size())))
            return said.substr(setup.size());
        return std::string(what) + ": " + said;
    }
    return "";
}

} // namespace

// The two games start, load and each admit two scores, in every order the
// six steps can take (each game's own in its order): 20 orders. Whatever
// the order, the file ends with the best ten of all, and after each save
// the game shows the table it wrote.
TEST(TwoGames, EveryOrderOfLoadsAndSavesKeepsEveryScore)
{
    const std::vector<Entry> admitted[2] = {{{"AAA", 25}, {"AA2", 5}}, {{"BBB", 15}, {"BB2", 35}}};
    const std::vector<Entry> all = {admitted[0][0], admitted[0][1], admitted[1][0], admitted[1][1]};
    const std::vector<Entry> expected = BestTen(StartTable(), all);
    int orders = 0;
    for (unsigned mask = 0; mask < 64; ++mask) {
        if (__builtin_popcount(mask) != 3)
            continue;
        std::string order;
        for (int k = 0; k < 6; ++k)
            order += (mask >> k) & 1 ? 'A' : 'B';
        SCOPED_TRACE("order " + order + " (each game loads, then admits twice)");
        ++orders;
        ScratchFolder folder;
        folder.Write(TableBytes(StartTable()));
        GameProcess games[2] = {GameProcess('A', -1), GameProcess('B', -1)};
        ASSERT_TRUE(games[0].Started() && games[1].Started());
        int done[2] = {0, 0};
        for (const char which : order) {
            GameProcess& game = games[which - 'A'];
            int& step = done[which - 'A'];
            if (step == 0) {
                game.Load();
                ASSERT_EQ(Quiet(game.Answer(), "load"), "");
            } else {
                const Entry& entry = admitted[which - 'A'][step - 1];
                game.Admit(entry.score, entry.name);
                const GameAnswer answer = game.Answer();
                ASSERT_EQ(Quiet(answer, "save"), "");
                if (answer.qualified) {
                    EXPECT_EQ(Entries(answer.names, answer.scores), FileTable(folder))
                        << "the list does not show the table that was written";
                }
            }
            ++step;
        }
        EXPECT_EQ(FileTable(folder), expected);
    }
    EXPECT_EQ(orders, 20);
}

namespace {

// Game A admits a score, held at its `holdAt`-th file step (from 0) while
// game B saves a score of its own, or loads and saves afterwards; then both
// run to their ends. Returns what went wrong, "" when the file holds both
// scores, no game said anything, and the two games' steps under the lock
// did not interleave. `finished`: A's save ended before the step to hold.
std::string HoldOneSave(int holdAt, bool bLoadsMeanwhile, bool inPlace, bool& finished)
{
    finished = false;
    ScratchFolder folder;
    folder.Write(TableBytes(StartTable()));
    std::unique_ptr<ClosedFolder> closed;
    if (inPlace) {
        closed = std::make_unique<ClosedFolder>(folder);
        if (!closed->Ok())
            return "the folder could not be closed";
    }
    const std::function<std::string()> setup = inPlace ? &ClosedFolder::Setup : std::function<std::string()>();
    reliability::EventPipe events;
    GameProcess a('A', events.WriteEnd(), setup), b('B', events.WriteEnd(), setup);
    if (!a.Started() || !b.Started())
        return "no game process";
    a.Load();
    if (std::string problem = Quiet(a.Answer(), "A's load"); !problem.empty())
        return problem;
    if (!bLoadsMeanwhile) {
        b.Load();
        if (std::string problem = Quiet(b.Answer(), "B's load"); !problem.empty())
            return problem;
    }

    std::vector<GameEvent> log;
    GameAnswer answerA, answerB;
    bool doneA = false, doneB = false;
    // Reads what comes next from the games still running: a step, which is
    // logged, or an answer. False after the hang bound.
    const auto next = [&](bool& stepped, GameEvent& event) {
        std::vector<int> fds = {events.ReadEnd()};
        if (!doneA)
            fds.push_back(a.AnswerFd());
        if (!doneB)
            fds.push_back(b.AnswerFd());
        const int which = reliability::FirstReadable(fds);
        if (which < 0)
            return false;
        stepped = which == 0;
        if (stepped) {
            if (!events.Next(event))
                return false;
            log.push_back(event);
        } else if (fds[which] == a.AnswerFd()) {
            answerA = a.Answer();
            doneA = true;
        } else {
            answerB = b.Answer();
            doneB = true;
        }
        return true;
    };

    // A runs up to the step it is held at.
    a.Admit(500, "AAA", true);
    for (int step = 0;; ++step) {
        bool stepped = false;
        GameEvent event;
        if (!next(stepped, event))
            return "A hangs";
        if (doneA) {
            finished = true;
            return holdAt == 0 ? "A's save took no step" : Quiet(answerA, "A's save");
        }
        if (step == holdAt)
            break;
        a.Let();
    }
    // B runs until it asks for the lock, or to its end.
    if (bLoadsMeanwhile)
        b.Load(true);
    else
        b.Admit(400, "BBB", true);
    for (;;) {
        bool stepped = false;
        GameEvent event;
        if (!next(stepped, event))
            return "B hangs";
        if (doneB)
            break;
        if (event.game != 'B')
            return "A went on while held";
        b.Let();
        if (event.step == platform::FileStep::Lock)
            break;
    }
    // Both run to their ends.
    a.Let();
    while (!doneA || !doneB) {
        bool stepped = false;
        GameEvent event;
        if (!next(stepped, event))
            return "a game hangs";
        if (stepped)
            (event.game == 'A' ? a : b).Let();
    }
    for (const auto& [answer, what] : {std::pair{&answerA, "A's save"}, {&answerB, bLoadsMeanwhile ? "B's load" : "B's save"}})
        if (std::string problem = Quiet(*answer, what); !problem.empty())
            return problem;
    if (bLoadsMeanwhile) {
        b.Admit(400, "BBB");
        if (std::string problem = Quiet(b.Answer(), "B's save after its load"); !problem.empty())
            return problem;
    }

    const std::vector<Entry> expected = BestTen(StartTable(), {{"AAA", 500}, {"BBB", 400}});
    if (FileTable(folder) != expected)
        return "the file does not hold both scores";

    // Under the lock, one game's steps all come before the other's.
    const auto lockedSteps = [&](char game, std::size_t& first, std::size_t& last) {
        const auto lock = std::find_if(log.begin(), log.end(), [&](const GameEvent& e) {
            return e.game == game && e.step == platform::FileStep::Lock;
        });
        first = last = 0;
        for (auto it = lock == log.end() ? log.end() : lock + 1; it != log.end(); ++it)
            if (it->game == game) {
                if (!first)
                    first = static_cast<std::size_t>(it - log.begin());
                last = static_cast<std::size_t>(it - log.begin());
            }
        return lock != log.end() && first;
    };
    std::size_t firstA, lastA, firstB, lastB;
    if (!lockedSteps('A', firstA, lastA) || !lockedSteps('B', firstB, lastB))
        return "a game took no lock";
    if (!(lastA < firstB || lastB < firstA))
        return "the games' steps under the lock interleaved";
    return "";
}

void HoldEachStepOfASave(bool inPlace)
{
    for (const bool bLoads : {false, true}) {
        int held = 0;
        for (int holdAt = 0;; ++holdAt) {
            SCOPED_TRACE(std::string("A held at step ") + std::to_string(holdAt) + " while B "
                         + (bLoads ? "loads" : "saves"));
            bool finished = false;
            const std::string problem = HoldOneSave(holdAt, bLoads, inPlace, finished);
            if (reliability::IsCannotRunHere(problem))
                GTEST_SKIP() << problem;
            EXPECT_EQ(problem, "");
            if (finished || !problem.empty())
                break;
            ++held;
        }
        EXPECT_GE(held, 10) << "the save has fewer steps than it should";
    }
}

} // namespace

// A's save is held before each of its steps in turn while B saves, or loads
// (a game starting): B waits for the lock wherever A holds it, and reads or
// places its score into whatever A wrote.
TEST(TwoGames, ASaveHeldAtAnyStepHoldsOffTheOtherGame)
{
    HoldEachStepOfASave(false);
}

// The same where the folder takes no new file and the table is rewritten in
// place: there a game loading without the lock would read a table half
// rewritten.
TEST(TwoGames, ASaveInPlaceHeldAtAnyStepHoldsOffTheOtherGame)
{
    HoldEachStepOfASave(true);
}

namespace {

// A third game that loads the table again and again, as games starting
// would, until told to stop; it then says what was wrong with any read.
class Reader {
public:
    explicit Reader(const std::function<std::string()>& setup)
    {
        int stop[2], verdict[2];
        if (pipe(stop) != 0 || pipe(verdict) != 0)
            return;
        m_pid = fork();
        if (m_pid == 0) {
            close(stop[1]);
            close(verdict[0]);
            std::string said = setup ? setup() : std::string();
            platform::SetLockPatience(std::chrono::milliseconds(reliability::kHangMs));
            long reads = 0;
            ScriptedModal modal;
            while (said.empty()) {
                CHighScoreDlg table;
                table.LoadHighScores();
                ++reads;
                if (!modal.messages.empty())
                    said = "read " + std::to_string(reads) + ": " + modal.messages[0].toStdString();
                else if (table.m_names.size() != 10)
                    said = "read " + std::to_string(reads) + ": not ten entries";
                if (reads == 1)
                    reliability::detail::WriteWhole(verdict[1], "+");
                pollfd p{stop[0], POLLIN, 0};
                if (poll(&p, 1, 0) == 1)
                    break;
            }
            reliability::detail::WriteWhole(verdict[1], said.empty() ? "\n" : said + "\n");
            _exit(0);
        }
        close(stop[0]);
        close(verdict[1]);
        m_stop = stop[1];
        m_verdict = verdict[0];
    }
    ~Reader()
    {
        close(m_stop);
        close(m_verdict);
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }

    // Waits for the first read: from then on the reader reads throughout.
    bool Reading()
    {
        char c = 0;
        return reliability::detail::Readable(m_verdict) && read(m_verdict, &c, 1) == 1 && c == '+';
    }

    // Stops the reader; "" when every read was whole.
    std::string Stop()
    {
        reliability::detail::WriteWhole(m_stop, "x");
        std::string said;
        if (!reliability::detail::ReadLine(m_verdict, said))
            return "the reader did not answer";
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
        return said;
    }

private:
    pid_t m_pid = -1;
    int m_stop = -1, m_verdict = -1;
};

// Rounds of both games admitting a score at the same moment, a reader
// loading throughout. Each round's two scores are the best so far, so
// both must stand at the top of the file afterwards.
void SaveTogether(bool inPlace, int rounds)
{
    ScratchFolder folder;
    folder.Write(TableBytes(StartTable()));
    std::unique_ptr<ClosedFolder> closed;
    if (inPlace) {
        closed = std::make_unique<ClosedFolder>(folder);
        ASSERT_TRUE(closed->Ok());
    }
    const std::function<std::string()> setup = inPlace ? &ClosedFolder::Setup : std::function<std::string()>();
    GameProcess a('A', -1, setup), b('B', -1, setup);
    ASSERT_TRUE(a.Started() && b.Started());
    a.Load();
    b.Load();
    const std::string loadA = Quiet(a.Answer(), "A's load");
    if (reliability::IsCannotRunHere(loadA))
        GTEST_SKIP() << loadA;
    ASSERT_EQ(loadA, "");
    ASSERT_EQ(Quiet(b.Answer(), "B's load"), "");
    Reader reader(setup);
    ASSERT_TRUE(reader.Reading());

    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const Entry entryA{"A" + std::to_string(round), 1000u + 2u * static_cast<std::uint32_t>(round)};
        const Entry entryB{"B" + std::to_string(round), entryA.score + 1};
        a.Admit(entryA.score, entryA.name);
        b.Admit(entryB.score, entryB.name);
        ASSERT_EQ(Quiet(a.Answer(), "A's save"), "");
        ASSERT_EQ(Quiet(b.Answer(), "B's save"), "");
        const std::vector<Entry> table = FileTable(folder);
        ASSERT_EQ(table.size(), 10u) << "the file fails its check";
        ASSERT_EQ(table[0], entryB);
        ASSERT_EQ(table[1], entryA);
    }
    EXPECT_EQ(reader.Stop(), "");
}

} // namespace

TEST(TwoGames, SavingAtTheSameMomentWithAGameLoadingThroughout)
{
    SaveTogether(false, 200);
}

TEST(TwoGames, SavingInPlaceAtTheSameMomentWithAGameLoadingThroughout)
{
    SaveTogether(true, 200);
}
