#pragma once
// What the desktop-test drivers that run the real main window share: checks
// that count what failed, progress notes, and a program run while the game
// keeps running.

#include <QEventLoop>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <cstdio>

namespace driver {

inline int g_failures = 0;

inline void Check(bool ok, const QString& what)
{
    if (!ok) {
        ++g_failures;
        std::fprintf(stderr, "FAIL: %s\n", qPrintable(what));
    }
}

inline void Note(const QString& what)
{
    std::printf("%s\n", qPrintable(what));
    std::fflush(stdout);
}

// Runs `program` in `folder` and turns the event loop until it ends, so that
// the game keeps running meanwhile. Its exit code, or -1 when it could not
// start, crashed, or did not end within the bound, which is for a hang.
inline int RunWhileTheGameRuns(const QString& program, const QStringList& arguments, const QString& folder)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    process.start(program, arguments);
    loop.exec();
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    return process.exitStatus() == QProcess::NormalExit && process.error() != QProcess::FailedToStart
               ? process.exitCode()
               : -1;
}

} // namespace driver
