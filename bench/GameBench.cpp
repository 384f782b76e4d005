// Benchmarks of the game code itself: the tick with and without eating at
// several snake lengths, a whole game from the start body to a full field
// (its slowest tick), food placement on crowded fields and the playfield
// paint. Times are per tick (per call), measured with the steady clock.

#include "bench/Circuit.h"
#include "bench/HeadlessGame.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

using namespace game;
using circuit::HeadlessGame;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

// The CPU time of this thread: what a tick costs, without the time other
// processes held the core (the machine is shared).
double ThreadSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// The times of the calls of one benchmark: each call's wall time becomes the
// iteration time and a sample, and the most CPU time one call took is kept.
class Timings {
public:
    Timings() { m_samples.reserve(1 << 20); }

    template <class F>
    void Time(benchmark::State& state, F&& call)
    {
        const double c0 = ThreadSeconds();
        const auto t0 = Clock::now();
        call();
        const auto t1 = Clock::now();
        m_maxCpu = std::max(m_maxCpu, ThreadSeconds() - c0);
        state.SetIterationTime(Seconds(t0, t1));
        if (m_samples.size() < m_samples.capacity())
            m_samples.push_back(Seconds(t0, t1));
    }

    // Median, p99 and slowest call, and the most CPU time, in microseconds,
    // as counters.
    void Report(benchmark::State& state)
    {
        state.counters["max_cpu_us"] = m_maxCpu * 1e6;
        if (m_samples.empty())
            return;
        std::sort(m_samples.begin(), m_samples.end());
        state.counters["median_us"] = m_samples[m_samples.size() / 2] * 1e6;
        state.counters["p99_us"] = m_samples[m_samples.size() * 99 / 100] * 1e6;
        state.counters["max_us"] = m_samples.back() * 1e6;
    }

private:
    std::vector<double> m_samples;
    double m_maxCpu = 0;
};

// The state of a game that one tick changes, to run the same tick again.
struct Snapshot {
    explicit Snapshot(const HeadlessGame& g)
        : body(g.m_body), headX(g.m_nHeadX), headY(g.m_nHeadY), dir(g.m_nDir), requested(g.m_nRequestedDir),
          turnDelay(g.m_nTurnDelay), tested(g.m_nTestedEntries), foodX(g.m_nFoodX), foodY(g.m_nFoodY),
          score(g.m_nScore), interval(g.m_nInterval), key(g.keyDirection)
    {
    }
    void Restore(HeadlessGame& g) const
    {
        g.m_body = body;
        g.m_nHeadX = headX;
        g.m_nHeadY = headY;
        g.m_nDir = dir;
        g.m_nRequestedDir = requested;
        g.m_nTurnDelay = turnDelay;
        g.m_nTestedEntries = tested;
        g.m_nFoodX = foodX;
        g.m_nFoodY = foodY;
        g.m_nScore = score;
        g.m_nInterval = interval;
        g.keyDirection = key;
        // Counts the restored body now, not inside the next timed tick.
        g.HitsBody();
    }
    BodyArray body;
    std::int32_t headX, headY;
    std::uint32_t dir, requested;
    std::int32_t turnDelay, tested, foodX, foodY;
    int score;
    std::int32_t interval;
    std::uint32_t key;
};

// A tick that moves the snake along the circuit and eats nothing.
void BM_TickWithoutEating(benchmark::State& state)
{
    const auto lines = static_cast<std::size_t>(state.range(0));
    HeadlessGame g;
    if (!circuit::GrowOnCircuit(g, lines)) {
        state.SkipWithError("the snake did not fit on the circuit");
        return;
    }
    const int score = g.m_nScore;
    Timings timings;
    for (auto _ : state) {
        g.keyDirection = circuit::Steer(g.m_nHeadX, g.m_nHeadY, g.m_nDir);
        circuit::FoodAway(g);
        timings.Time(state, [&] { g.Tick(); });
    }
    if (g.gameOvers != 0 || g.m_nScore != score)
        state.SkipWithError("the snake ate or died");
    state.counters["lines"] = static_cast<double>(g.m_body.GetSize() / 3);
    state.counters["tested_lines"] = static_cast<double>(g.BodyOccupancy().CoveredLines());
    timings.Report(state);
}

// A tick that eats: score, period, erasing and placing the food, eleven
// copies of the head line. Each run starts from the same state; the food
// placement draws on from where the generator stands.
void BM_TickEating(benchmark::State& state)
{
    const auto lines = static_cast<std::size_t>(state.range(0));
    HeadlessGame g;
    if (!circuit::GrowOnCircuit(g, lines)) {
        state.SkipWithError("the snake did not fit on the circuit");
        return;
    }
    // A tick that goes straight on.
    while (!circuit::GoesStraight(g)) {
        g.keyDirection = circuit::Steer(g.m_nHeadX, g.m_nHeadY, g.m_nDir);
        circuit::FoodAway(g);
        g.Tick();
    }
    g.keyDirection = circuit::Steer(g.m_nHeadX, g.m_nHeadY, g.m_nDir);
    circuit::FoodAhead(g);
    const Snapshot start(g);
    start.Restore(g);
    Timings timings;
    for (auto _ : state) {
        timings.Time(state, [&] { g.Tick(); });
        if (g.m_nScore != start.score + 10 || g.gameOvers != 0) {
            state.SkipWithError("the tick did not eat");
            return;
        }
        start.Restore(g);
    }
    state.counters["lines"] = static_cast<double>(start.body.GetSize() / 3);
    timings.Report(state);
}

// One whole game along the circuit, eating every fourth tick from the start
// body until the field holds no more (about 5,000 lines), every tick timed:
// the slowest tick at every length, the first tick (field paint and first
// food) included.
void BM_WholeGameSlowestTick(benchmark::State& state)
{
    for (auto _ : state) {
        HeadlessGame g;
        std::vector<double> straight, eating;
        straight.reserve(20000);
        eating.reserve(1000);
        double first = 0, slowest = 0, slowestCpu = 0;
        std::size_t slowestAt = 0;
        std::vector<double> slowestPerThousand(6, 0.0);
        const auto timeTick = [&](bool eats) {
            const std::size_t lines = g.m_body.GetSize() / 3;
            const double c0 = ThreadSeconds();
            const auto t0 = Clock::now();
            g.Tick();
            const double s = Seconds(t0, Clock::now());
            slowestCpu = std::max(slowestCpu, ThreadSeconds() - c0);
            (eats ? eating : straight).push_back(s);
            if (s > slowest) {
                slowest = s;
                slowestAt = lines;
            }
            auto& bucket = slowestPerThousand[std::min<std::size_t>(lines / 1000, 5)];
            bucket = std::max(bucket, s);
            return s;
        };
        first = timeTick(false);
        g.keyDirection = circuit::PlaceSnake(g);
        int tick = 0;
        for (; g.m_body.GetSize() / 3 + 10 < 5000; ++tick) {
            g.keyDirection = circuit::Steer(g.m_nHeadX, g.m_nHeadY, g.m_nDir);
            const bool eats = tick % 4 == 0 && g.HasFood() && circuit::GoesStraight(g);
            if (eats)
                circuit::FoodAhead(g);
            else
                circuit::FoodAway(g);
            timeTick(eats);
        }
        for (int stretch = 0; stretch < 5000; ++stretch, ++tick) {
            g.keyDirection = circuit::Steer(g.m_nHeadX, g.m_nHeadY, g.m_nDir);
            circuit::FoodAway(g);
            timeTick(false);
        }
        if (g.gameOvers != 0) {
            state.SkipWithError("the game ended on the circuit");
            return;
        }
        state.SetIterationTime(slowest);
        state.counters["ticks"] = tick + 1;
        state.counters["final_lines"] = static_cast<double>(g.m_body.GetSize() / 3);
        state.counters["first_tick_us"] = first * 1e6;
        state.counters["slowest_us"] = slowest * 1e6;
        state.counters["slowest_cpu_us"] = slowestCpu * 1e6;
        state.counters["slowest_at_lines"] = static_cast<double>(slowestAt);
        for (std::size_t k = 0; k < slowestPerThousand.size(); ++k)
            if (slowestPerThousand[k] > 0)
                state.counters["max_us_" + std::to_string(k * 1000) + "+"] = slowestPerThousand[k] * 1e6;
        std::sort(eating.begin(), eating.end());
        std::sort(straight.begin(), straight.end());
        state.counters["eat_median_us"] = eating[eating.size() / 2] * 1e6;
        state.counters["eat_max_us"] = eating.back() * 1e6;
        state.counters["straight_median_us"] = straight[straight.size() / 2] * 1e6;
        state.counters["straight_max_us"] = straight.back() * 1e6;
    }
}

// A field covered to the given share by random tested lines: the share of
// the food area's pixels, the rest of the field free in scattered gaps. On a
// field this broken up random draws rarely find a free block, so placement
// often ends in the search through every position.
void BM_PlaceFood(benchmark::State& state)
{
    const int percent = static_cast<int>(state.range(0));
    HeadlessGame g;
    g.m_body.RemoveAll();
    std::mt19937 rng(static_cast<unsigned>(percent));
    std::uniform_int_distribution<int> dirOf(1, 4), xOf(11, 244), yOf(81, 306);
    std::vector<std::uint8_t> covered(234 * 226, 0);
    int coveredCount = 0;
    const int target = 234 * 226 * percent / 100;
    while (coveredCount < target) {
        const auto d = static_cast<std::uint32_t>(dirOf(rng));
        const int x = xOf(rng), y = yOf(rng);
        g.m_body.AddLine(x, y, d);
        for (int k = 0; k < 10; ++k) {
            const int px = IsVertical(d) ? x + k : x;
            const int py = IsVertical(d) ? y : y + k;
            if (px <= 244 && py <= 306 && !covered[(py - 81) * 234 + (px - 11)]) {
                covered[(py - 81) * 234 + (px - 11)] = 1;
                ++coveredCount;
            }
        }
    }
    g.m_nTestedEntries = static_cast<std::int32_t>(g.m_body.GetSize());
    g.HitsBody();   // counts the body before the timing starts
    Timings timings;
    int found = 0;
    for (auto _ : state) {
        timings.Time(state, [&] { g.PlaceFood(); });
        found += g.HasFood() ? 1 : 0;
    }
    state.counters["lines"] = static_cast<double>(g.m_body.GetSize() / 3);
    state.counters["found_share"] =
        state.iterations() == 0 ? 0.0 : static_cast<double>(found) / static_cast<double>(state.iterations());
    timings.Report(state);
}

void BM_PaintPlayfield(benchmark::State& state)
{
    HeadlessGame g;
    for (auto _ : state)
        g.PaintPlayfield();
    benchmark::DoNotOptimize(g.Pixels().Image().constBits());
}

} // namespace

BENCHMARK(BM_TickWithoutEating)->Arg(32)->Arg(1000)->Arg(5000)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TickEating)->Arg(32)->Arg(1000)->Arg(5000)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WholeGameSlowestTick)->Iterations(1)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlaceFood)->Arg(10)->Arg(50)->Arg(90)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PaintPlayfield)->Unit(benchmark::kMicrosecond);
