// Benchmarks of the high-score table: reading and writing "HiScores.ini".

#include "highscores/HighScoreDlg.h"
#include "highscores/HighScoreFile.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QTemporaryDir>

namespace {

// Runs in a scratch folder holding a valid table.
class ScratchTable {
public:
    ScratchTable() : m_previous(QDir::currentPath())
    {
        QDir::setCurrent(m_dir.path());
        highscores::DefaultTable(table.m_names, table.m_scores);
        table.SaveHighScores();
    }
    ~ScratchTable() { QDir::setCurrent(m_previous); }
    CHighScoreDlg table;

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

void BM_LoadHighScores(benchmark::State& state)
{
    ScratchTable scratch;
    for (auto _ : state) {
        scratch.table.m_names.clear();
        scratch.table.m_scores.clear();
        scratch.table.LoadHighScores();
        benchmark::DoNotOptimize(scratch.table.m_scores.data());
    }
    if (scratch.table.m_scores.size() != 10)
        state.SkipWithError("the table did not load");
}

// The whole file replaced through a temporary file, as after each admitted score.
void BM_SaveHighScores(benchmark::State& state)
{
    ScratchTable scratch;
    for (auto _ : state)
        if (!scratch.table.SaveHighScores())
            state.SkipWithError("the table could not be saved");
}

} // namespace

BENCHMARK(BM_LoadHighScores)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SaveHighScores)->Unit(benchmark::kMicrosecond);
