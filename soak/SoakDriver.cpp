// Plays whole games headless in the real main window, steering with random
// and greedy requests through the buttons and the keys, and checks after
// every tick:
//   - m_body holds whole (X, Y, direction) triples with valid directions,
//     and the tested prefix lies within it;
//   - the head is inside the walls, or the game is over, or a turn has just
//     shifted it past a wall and the next tick ends the game;
//   - the score is ten times the blocks eaten (each block adds 33 entries);
//   - the period is 30 ms less one per block, never below 3 ms;
// and that the memory stays flat: the peak resident size after the last
// game is within 5 % of that after game 10 (runs of 100 games or more).
//
// Usage: coilrunner_soak [--games N] [--seed S] [--max-ticks T]
// Exit code 0 when every check held, 1 otherwise.

#include "app/GameDlg.h"
#include "game/Direction.h"
#include "platform/Application.h"
#include "platform/Modal.h"
#include "platform/Sound.h"
#include "res/Icon.h"
#include "res/resource.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QTemporaryDir>

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

using namespace game;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

long PeakRssKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

long CurrentRssKb()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kb = 0;
            status >> kb;
            return kb;
        }
        status.ignore(1 << 16, '\n');
    }
    return 0;
}

// Answers every box at once: OK to messages, a random name (or Escape) to
// the name entry, OK to the list. Counts what the game over showed.
class AutoModal : public platform::ModalHook {
public:
    explicit AutoModal(CGameDlg& dlg, std::mt19937& random) : m_dlg(dlg), m_random(random) {}

    int RunDialog(platform::Dialog& dialog) override
    {
        const int id = dialog.Template().id;
        if (id == IDD_NEWHIGHSCORE) {
            ++namesAsked;
            const int length = static_cast<int>(m_random() % 31);
            if (length == 30) {
                dialog.SendCommand(platform::IDCANCEL);
            } else {
                QString name;
                for (int k = 0; k < length; ++k)
                    name += QChar::fromLatin1(static_cast<char>(' ' + m_random() % 95));
                if (auto* edit = qobject_cast<QLineEdit*>(dialog.GetDlgItem(IDC_PLAYER_NAME)))
                    edit->insert(name);
                dialog.SendCommand(platform::IDOK);
            }
        } else if (id == IDD_HIGHSCORES) {
            ++listsShown;
            dialog.SendCommand(IDC_HS_OK);
        } else {
            dialog.SendCommand(platform::IDCANCEL);
        }
        return dialog.Result();
    }

    int MessageBox(QWidget*, const QString& text, unsigned) override
    {
        if (text.startsWith(QStringLiteral("Game over!"))) {
            ++gameOvers;
            lastGameOver = text;
            // The head as the tick left it: past a wall, or on the body.
            const bool outside = m_dlg.m_nHeadX <= 10 || m_dlg.m_nHeadX >= 245 || m_dlg.m_nHeadY <= 81
                || m_dlg.m_nHeadY >= 308;
            (outside ? wallEnds : bodyEnds) += 1;
        } else {
            otherMessages.push_back(text);
        }
        return platform::IDOK;
    }

    int gameOvers = 0, namesAsked = 0, listsShown = 0;
    long long wallEnds = 0, bodyEnds = 0;
    QString lastGameOver;
    std::vector<QString> otherMessages;

private:
    CGameDlg& m_dlg;
    std::mt19937& m_random;
};

class SilentSound : public platform::SoundPlayer {
public:
    void MessageBeep(unsigned type) override { beeps += type == platform::MB_ICONEXCLAMATION ? 1 : 0; }
    long long beeps = 0;
};

struct Totals {
    long long ticks = 0, blocks = 0, failures = 0, gamesAtShortestPeriod = 0;
    int mostBlocks = 0;
    std::size_t longestBody = 0;
};

bool Inside(std::int32_t x, std::int32_t y) { return x > 10 && x < 245 && y > 81 && y < 308; }

std::uint32_t Opposite(std::uint32_t dir)
{
    switch (dir) {
    case DIR_UP: return DIR_DOWN;
    case DIR_DOWN: return DIR_UP;
    case DIR_LEFT: return DIR_RIGHT;
    case DIR_RIGHT: return DIR_LEFT;
    }
    return dir;
}

// Whether the point lies on one of the body's lines, leaving out the
// newest `skip` lines (the head's own band).
bool OnBody(const CGameDlg& dlg, std::int32_t px, std::int32_t py, std::size_t skip)
{
    const std::size_t lines = dlg.m_body.GetSize() / 3;
    for (std::size_t line = 0; line + skip < lines; ++line) {
        const auto x = static_cast<std::int32_t>(dlg.m_body[3 * line]);
        const auto y = static_cast<std::int32_t>(dlg.m_body[3 * line + 1]);
        if (IsVertical(dlg.m_body[3 * line + 2]) ? (py == y && x <= px && px < x + 10)
                                                 : (px == x && y <= py && py < y + 10))
            return true;
    }
    return false;
}

// Steers towards the food, away from walls and from its own body a few
// pixels ahead, never straight back. Returns 0 for "no request".
std::uint32_t GreedyChoice(const CGameDlg& dlg, std::mt19937& random)
{
    const std::int32_t x = dlg.m_nHeadX, y = dlg.m_nHeadY;
    const std::int32_t tx = dlg.m_nFoodX + 2, ty = dlg.m_nFoodY + 2;
    const std::uint32_t dir = dlg.m_nDir;
    auto clearAhead = [&](std::uint32_t d) {
        const int reach = 14;
        std::int32_t ax = x, ay = y;
        switch (d) {
        case DIR_UP: ay -= reach; break;
        case DIR_DOWN: ay += reach; break;
        case DIR_LEFT: ax -= reach; break;
        case DIR_RIGHT: ax += reach; break;
        }
        if (!Inside(ax, ay))
            return false;
        // The band ahead: ten pixels across, a few deep, beyond the corner.
        for (int depth = 11; depth <= reach; depth += 3)
            for (int across = -10; across <= 10; across += 2) {
                const std::int32_t px = IsVertical(d) ? x + across : x + (d == DIR_RIGHT ? depth : -depth);
                const std::int32_t py = IsVertical(d) ? y + (d == DIR_DOWN ? depth : -depth) : y + across;
                if (OnBody(dlg, px, py, 25))
                    return false;
            }
        return true;
    };
    std::uint32_t want = dir;
    if (IsHorizontal(dir)) {
        if (std::abs(x - tx) <= 2 && ty != y)
            want = ty < y ? DIR_UP : DIR_DOWN;
        else if ((dir == DIR_RIGHT) != (tx > x))
            want = ty < y ? DIR_UP : DIR_DOWN;
    } else {
        if (std::abs(y - ty) <= 2 && tx != x)
            want = tx < x ? DIR_LEFT : DIR_RIGHT;
        else if ((dir == DIR_DOWN) != (ty > y))
            want = tx < x ? DIR_LEFT : DIR_RIGHT;
    }
    if (!clearAhead(want)) {
        const std::uint32_t sides[2] = {IsHorizontal(dir) ? DIR_UP : DIR_LEFT, IsHorizontal(dir) ? DIR_DOWN : DIR_RIGHT};
        const int first = static_cast<int>(random() % 2);
        if (clearAhead(dir))
            want = dir;
        else
            want = clearAhead(sides[first]) ? sides[first] : sides[1 - first];
    }
    if (want == Opposite(dir))
        return 0;
    return want == dir ? 0 : want;
}

void Request(CGameDlg& dlg, std::uint32_t dir, std::mt19937& random)
{
    // Half through the buttons, half through the play area's keys.
    if (random() % 2) {
        switch (dir) {
        case DIR_UP: dlg.SendCommand(IDC_UP); break;
        case DIR_DOWN: dlg.SendCommand(IDC_DOWN); break;
        case DIR_LEFT: dlg.SendCommand(IDC_LEFT); break;
        case DIR_RIGHT: dlg.SendCommand(IDC_RIGHT); break;
        }
    } else {
        const unsigned keys[] = {0, 'Q', 'M', 'A', 'N'};
        dlg.m_playArea.SendKeyDown(keys[dir]);
    }
}

// One whole game. Returns the number of failed checks.
int PlayOneGame(int game, CGameDlg& dlg, AutoModal& modal, std::mt19937& random, long long maxTicks, Totals& totals)
{
    int failures = 0;
    auto fail = [&](const char* what, long long tick) {
        if (failures < 5)
            std::fprintf(stderr, "game %d, tick %lld: %s (head %d,%d dir %u, score %d, body %zu)\n", game, tick, what,
                         dlg.m_nHeadX, dlg.m_nHeadY, dlg.m_nDir, dlg.m_nScore, dlg.m_body.GetSize());
        ++failures;
    };

    // Each game mixes greedy and random steering in its own proportion: from
    // greedy only to random only. Only the wholly random games ask to turn
    // straight back, which ends a game at once.
    const int kRandomPercents[] = {0, 5, 20, 100};
    const int randomPercent = kRandomPercents[random() % 4];
    const bool reversals = randomPercent == 100;
    const int decisionEvery = 1 + static_cast<int>(random() % 8);       // ticks between decisions

    const int overs = modal.gameOvers;
    dlg.OnStart();
    if (dlg.TimerPeriod(1) != 30)
        fail("the game did not start its timer at 30 ms", 0);

    int eaten = 0;
    bool mustEnd = false;   // the head was shifted past a wall
    long long tick = 0;
    for (; modal.gameOvers == overs; ++tick) {
        if (tick >= maxTicks) {
            // A snake that never dies is turned back onto itself.
            Request(dlg, Opposite(dlg.m_nDir), random);
        } else if (tick % decisionEvery == 0) {
            if (static_cast<int>(random() % 100) < randomPercent) {
                const std::uint32_t dir = 1 + random() % 4;
                if (reversals || dir != Opposite(dlg.m_nDir))
                    Request(dlg, dir, random);
            }
            else if (const std::uint32_t dir = GreedyChoice(dlg, random))
                Request(dlg, dir, random);
        }
        if (tick > maxTicks + 100) {
            fail("the game does not end", tick);
            break;
        }

        const std::size_t before = dlg.m_body.GetSize();
        dlg.OnTimer(1);
        const bool over = modal.gameOvers != overs;

        const std::size_t size = dlg.m_body.GetSize();
        if (size % 3 != 0)
            fail("m_body does not hold whole triples", tick);
        for (std::size_t i = 2; i < size; i += 3)
            if (dlg.m_body[i] < DIR_UP || dlg.m_body[i] > DIR_LEFT) {
                fail("a body line without a valid direction", tick);
                break;
            }
        if (dlg.m_nTestedEntries < 0 || static_cast<std::size_t>(dlg.m_nTestedEntries) > size)
            fail("the tested prefix reaches past the body", tick);

        if (over) {
            // The game over ran its sequence and reset the window.
            const QString expected = QStringLiteral("Game over!   Score: %1").arg(10 * eaten);
            if (modal.lastGameOver != expected)
                fail("the final score is not ten times the blocks eaten", tick);
            if (dlg.m_nScore != 0 || dlg.m_nFieldReady != 0 || size != 93 || dlg.TimerPeriod(1) != -1
                || dlg.m_nInterval != 30 || dlg.m_playArea.Window())
                fail("the game over did not reset the window", tick);
            break;
        }
        if (mustEnd)
            fail("the head stayed past a wall and the game went on", tick);

        if (size != before && size != before + 33)
            fail("the body grew by something other than one block", tick);
        if (size == before + 33)
            ++eaten;
        if (dlg.m_nScore != 10 * eaten)
            fail("the score is not ten times the blocks eaten", tick);
        const int period = eaten >= 27 ? 3 : 30 - eaten;
        if (dlg.m_nInterval != period || dlg.m_nInterval < 3)
            fail("the period is off", tick);
        if (dlg.TimerPeriod(1) != dlg.m_nInterval)
            fail("the timer does not run with the period", tick);
        if (dlg.TimerPeriod(1) < 3)
            fail("the timer runs faster than 3 ms", tick);
        if (!Inside(dlg.m_nHeadX, dlg.m_nHeadY)) {
            // Only a turn shifts the head, by up to ten pixels.
            if (dlg.m_nHeadX < 0 || dlg.m_nHeadX > 255 || dlg.m_nHeadY < 71 || dlg.m_nHeadY > 318)
                fail("the head is far outside the walls", tick);
            mustEnd = true;
        }
        totals.longestBody = std::max(totals.longestBody, size);
    }
    totals.ticks += tick + 1;
    totals.blocks += eaten;
    totals.mostBlocks = std::max(totals.mostBlocks, eaten);
    if (eaten >= 27)
        ++totals.gamesAtShortestPeriod;
    return failures;
}

} // namespace

int main(int argc, char** argv)
{
    int games = 1000;
    unsigned seed = 1;
    long long maxTicks = 40000;
    for (int k = 1; k + 1 < argc; k += 2) {
        if (!std::strcmp(argv[k], "--games"))
            games = std::atoi(argv[k + 1]);
        else if (!std::strcmp(argv[k], "--seed"))
            seed = static_cast<unsigned>(std::strtoul(argv[k + 1], nullptr, 10));
        else if (!std::strcmp(argv[k], "--max-ticks"))
            maxTicks = std::atoll(argv[k + 1]);
    }
    if (games < 1 || maxTicks < 1) {
        std::fprintf(stderr, "usage: %s [--games N] [--seed S] [--max-ticks T]\n", argv[0]);
        return 2;
    }

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    platform::InitApplication(app, QStringLiteral("Quillware Coilrunner"), res::MainIcon());

    // "HiScores.ini" goes to a scratch folder.
    QTemporaryDir scratch;
    if (!scratch.isValid() || !QDir::setCurrent(scratch.path())) {
        std::fprintf(stderr, "no scratch folder\n");
        return 1;
    }

    std::mt19937 random(seed);
    SilentSound sound;
    platform::SoundPlayer* previousSound = platform::SetSoundPlayer(&sound);
    Totals totals;
    int exitCode = 0;
    {
        CGameDlg dlg;
        AutoModal modal(dlg, random);
        platform::ModalHook* previousHook = platform::SetModalHook(&modal);
        platform::SetMainDialog(&dlg);
        if (!dlg.Create()) {
            std::fprintf(stderr, "the main window cannot be created\n");
            return 1;
        }

        long rssAt10 = 0, peakAt10 = 0;
        const auto started = std::chrono::steady_clock::now();
        for (int game = 1; game <= games; ++game) {
            totals.failures += PlayOneGame(game, dlg, modal, random, maxTicks, totals);
            // Let Qt run its deferred deletions, as the real event loop would.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCoreApplication::processEvents();
            if (game == 10) {
                rssAt10 = CurrentRssKb();
                peakAt10 = PeakRssKb();
            }
            if (game % 100 == 0 || game == games)
                std::printf("game %5d: %lld ticks so far, peak RSS %ld kB, RSS %ld kB\n", game, totals.ticks,
                            PeakRssKb(), CurrentRssKb());
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        const long peakAtEnd = PeakRssKb(), rssAtEnd = CurrentRssKb();

        std::printf("games %d, ticks %lld (%.0f per game), %.1f s\n", games, totals.ticks,
                    static_cast<double>(totals.ticks) / games, seconds);
        std::printf("game overs %d (wall %lld, body %lld), names asked %d, lists shown %d\n", modal.gameOvers,
                    modal.wallEnds, modal.bodyEnds, modal.namesAsked, modal.listsShown);
        std::printf("blocks eaten %lld (eating sounds %lld), most in one game %d, games down to 3 ms %lld, "
                    "longest body %zu lines\n",
                    totals.blocks, sound.beeps, totals.mostBlocks, totals.gamesAtShortestPeriod,
                    totals.longestBody / 3);
        if (games >= 10)
            std::printf("memory: peak RSS %ld kB after game 10, %ld kB after game %d (%+.2f %%); "
                        "RSS %ld kB -> %ld kB\n",
                        peakAt10, peakAtEnd, games, 100.0 * (peakAtEnd - peakAt10) / peakAt10, rssAt10, rssAtEnd);

        if (modal.gameOvers != games) {
            std::fprintf(stderr, "%d game overs for %d games\n", modal.gameOvers, games);
            ++totals.failures;
        }
        if (modal.listsShown != modal.namesAsked) {
            std::fprintf(stderr, "the list was shown %d times for %d admitted scores\n", modal.listsShown,
                         modal.namesAsked);
            ++totals.failures;
        }
        for (const QString& text : modal.otherMessages)
            std::fprintf(stderr, "unexpected message: %s\n", qPrintable(text));
        totals.failures += static_cast<long long>(modal.otherMessages.size());
        if (totals.blocks != sound.beeps) {
            std::fprintf(stderr, "%lld blocks eaten but %lld eating sounds\n", totals.blocks, sound.beeps);
            ++totals.failures;
        }
        // The memory criterion needs enough games to mean something, and an
        // uninstrumented build (AddressSanitizer keeps freed memory aside).
        if (games >= 100 && !kSanitized && peakAtEnd > peakAt10 * 105 / 100) {
            std::fprintf(stderr, "memory grew: peak RSS %ld kB after game 10, %ld kB at the end\n", peakAt10,
                         peakAtEnd);
            ++totals.failures;
        }

        platform::SetMainDialog(nullptr);
        platform::SetModalHook(previousHook);
    }
    platform::SetSoundPlayer(previousSound);

    if (totals.failures) {
        std::printf("FAILED: %lld checks did not hold\n", totals.failures);
        exitCode = 1;
    } else {
        std::printf("every check held\n");
    }
    return exitCode;
}
