// The real program loop, measured: the main window with its menus, controls
// and Qt event loop, timer 1 at a set period, and a long snake steered round
// the circuit with the steering keys for a while at each period. Reports, per
// period, the ticks per second against 1000 / period, the slowest tick, and
// what the picture's update costs per frame (the window's repaint of the
// dirty area and its flush to the display).
//
// Needs a display; scripts run it on a virtual X server:
//   bench/measure-loop.sh [build folder]
// Options: --seconds N (per period, default 10), --lines N (default 5000),
//          --periods 30,15,3

#include "app/GameDlg.h"
#include "bench/Circuit.h"
#include "platform/Application.h"
#include "res/Icon.h"
#include "res/resource.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <sys/resource.h>
#include <vector>

using Clock = std::chrono::steady_clock;
using game::DIR_DOWN;
using game::DIR_LEFT;
using game::DIR_RIGHT;
using game::DIR_UP;

namespace {

double Micros(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::micro>(b - a).count();
}

// CPU time of this thread in microseconds: a tick's own cost, without the
// time other processes held the core.
double ThreadMicros()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e6 + static_cast<double>(ts.tv_nsec) / 1e3;
}

struct Samples {
    std::vector<double> values;
    void Add(double v) { values.push_back(v); }
    double Max() const { return values.empty() ? 0 : *std::max_element(values.begin(), values.end()); }
    double Mean() const
    {
        double sum = 0;
        for (double v : values)
            sum += v;
        return values.empty() ? 0 : sum / static_cast<double>(values.size());
    }
    double Quantile(double q)
    {
        if (values.empty())
            return 0;
        std::sort(values.begin(), values.end());
        return values[static_cast<std::size_t>(q * static_cast<double>(values.size() - 1))];
    }
    void Clear() { values.clear(); }
};

unsigned KeyFor(std::uint32_t dir)
{
    switch (dir) {
    case DIR_UP: return 'Q';
    case DIR_DOWN: return 'A';
    case DIR_LEFT: return 'N';
    case DIR_RIGHT: return 'M';
    default: return 0;
    }
}

// The main window with the steering done by the circuit, pressing the keys
// on the play area as a player would, and every tick timed.
class SteeredGameDlg : public CGameDlg {
public:
    void OnTimer(std::uintptr_t id) override
    {
        Steer();
        // The food waits on the tail, off the head's way, so that the period
        // stays where it was set.
        circuit::FoodAway(*this);
        const double c0 = ThreadMicros();
        const auto t0 = Clock::now();
        CGameDlg::OnTimer(id);
        const auto t1 = Clock::now();
        if (measuring) {
            tickCost.Add(Micros(t0, t1));
            tickCpuMax = std::max(tickCpuMax, ThreadMicros() - c0);
            ++ticks;
        }
    }

    void Steer()
    {
        const std::uint32_t dir = circuit::Steer(m_nHeadX, m_nHeadY, m_nDir);
        if (dir != m_playArea.m_nDirection)
            m_playArea.SendKeyDown(KeyFor(dir));
    }

    void GameOver() override
    {
        ++gameOvers;
        KillTimer(1);
        std::fprintf(stderr, "the game ended at %zu lines; the measurement is void\n", m_body.GetSize() / 3);
        QApplication::exit(2);
    }

    void StartTimer(int period)
    {
        m_nInterval = period;
        SetTimer(1, static_cast<unsigned>(period));
    }

    // Keeps the period fixed should food be eaten after all.
    void RestartTimer() override { SetTimer(1, static_cast<unsigned>(m_nInterval = period)); }

    bool measuring = false;
    int period = 30;
    long ticks = 0;
    int gameOvers = 0;
    Samples tickCost;
    double tickCpuMax = 0;
};

// Times the window's repaints: each update request of the top-level window
// repaints what changed and flushes it to the display.
class FrameTimer : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::UpdateRequest || m_inside)
            return false;
        m_inside = true;
        const auto t0 = Clock::now();
        watched->event(event);
        const auto t1 = Clock::now();
        m_inside = false;
        if (measuring)
            frameCost.Add(Micros(t0, t1));
        return true;
    }
    bool measuring = false;
    Samples frameCost;

private:
    bool m_inside = false;
};

long PeakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

std::vector<int> ParsePeriods(const std::string& text)
{
    std::vector<int> periods;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t comma = text.find(',', pos);
        periods.push_back(std::atoi(text.substr(pos, comma - pos).c_str()));
        if (comma == std::string::npos)
            break;
        pos = comma + 1;
    }
    return periods;
}

} // namespace

int main(int argc, char* argv[])
{
    double seconds = 10;
    std::size_t lines = 5000;
    std::vector<int> periods{30, 15, 3};
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string opt = argv[i];
        if (opt == "--seconds")
            seconds = std::atof(argv[i + 1]);
        else if (opt == "--lines")
            lines = static_cast<std::size_t>(std::atol(argv[i + 1]));
        else if (opt == "--periods")
            periods = ParsePeriods(argv[i + 1]);
    }

    QApplication app(argc, argv);
    platform::InitApplication(app, QStringLiteral("Quillware Coilrunner"), res::MainIcon());

    SteeredGameDlg dlg;
    platform::SetMainDialog(&dlg);
    if (!dlg.Create()) {
        std::fprintf(stderr, "the main window could not be created\n");
        return 1;
    }
    dlg.m_bSound = 0;   // no alert sounds while measuring
    dlg.ShowWindow(true);
    FrameTimer frames;
    dlg.Window()->installEventFilter(&frames);
    QApplication::processEvents();

    // Start a game, then grow the snake tick by tick, without the timer,
    // until it is about `lines` lines long and stretched out along the route.
    dlg.SendCommand(IDC_START);
    dlg.KillTimer(1);
    dlg.OnTimer(1);   // the field paint and the first food
    dlg.m_playArea.m_nDirection = circuit::PlaceSnake(dlg);
    for (int tick = 0; dlg.m_body.GetSize() / 3 + 10 < lines; ++tick) {
        dlg.Steer();
        if (tick % 4 == 0 && dlg.HasFood() && circuit::GoesStraight(dlg))
            circuit::FoodAhead(dlg);
        dlg.GameCore::OnTimer(1);
    }
    for (std::size_t tick = 0; tick < lines; ++tick)
        dlg.OnTimer(1);
    if (dlg.gameOvers != 0)
        return 2;
    QApplication::processEvents();

    std::printf("Real program loop: main window on %s, snake of %zu lines (%zu tested), %.0f s per period\n",
                qPrintable(QApplication::platformName()), dlg.m_body.GetSize() / 3,
                dlg.BodyOccupancy().CoveredLines(), seconds);
    std::printf("%8s %9s %8s %7s %11s %11s %11s %11s %7s %11s %11s\n", "period", "ticks/s", "target", "share",
                "tick mean", "tick p99", "tick max", "max (cpu)", "frames", "frame mean", "frame max");

    bool allMet = true;
    for (const int period : periods) {
        dlg.period = period;
        dlg.ticks = 0;
        dlg.tickCost.Clear();
        dlg.tickCpuMax = 0;
        frames.frameCost.Clear();
        // One second to settle at the new period, then the measured span.
        dlg.StartTimer(period);
        QTimer::singleShot(1000, [] { QApplication::exit(0); });
        if (app.exec() != 0)
            return 2;
        dlg.measuring = frames.measuring = true;
        dlg.ticks = 0;
        QElapsedTimer elapsed;
        elapsed.start();
        QTimer::singleShot(static_cast<int>(seconds * 1000), [] { QApplication::exit(0); });
        if (app.exec() != 0)
            return 2;
        const double span = static_cast<double>(elapsed.nsecsElapsed()) / 1e9;
        dlg.measuring = frames.measuring = false;

        const double rate = static_cast<double>(dlg.ticks) / span;
        const double target = 1000.0 / period;
        const double share = rate / target;
        const double needed = period <= 3 ? 0.97 : 0.99;
        allMet = allMet && share >= needed;
        std::printf("%5d ms %9.1f %8.1f %6.1f%% %8.1f us %8.1f us %8.1f us %8.1f us %7zu %8.1f us %8.1f us\n",
                    period, rate, target, share * 100, dlg.tickCost.Mean(), dlg.tickCost.Quantile(0.99),
                    dlg.tickCost.Max(), dlg.tickCpuMax, frames.frameCost.values.size(), frames.frameCost.Mean(),
                    frames.frameCost.Max());
        std::fflush(stdout);
    }
    dlg.KillTimer(1);
    std::printf("snake at the end: %zu lines; peak memory of this process: %.1f MB\n", dlg.m_body.GetSize() / 3,
                static_cast<double>(PeakKilobytes()) / 1024.0);
    std::printf("targets (>= 99%% at 30 and 15 ms, >= 97%% at 3 ms): %s\n", allMet ? "met" : "NOT met");

    dlg.m_playArea.DestroyWindow();
    dlg.DestroyWindow();
    platform::SetMainDialog(nullptr);
    return allMet ? 0 : 3;
}
