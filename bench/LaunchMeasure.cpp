// Launch time and peak memory of the program on an X server: starts the
// program several times, takes the time from the start of the process to the
// mapping of its first window (the window is shown) and to its first paint
// (the window's centre pixel turns from the black of the server's root to the
// dialog's own colour; run the server with -br), lets it idle a moment, ends
// it and reads its peak resident memory. Prints each run and the medians.
//
// With a REFERENCE program (coilrunner_bare_dialog, a bare Qt dialog with a
// menu bar), the two are started in turn, PROGRAM first, RUNS times each, so
// that both meet the same load on the machine; the medians of both and
// their ratio end the report. A window is the program's when its
// _NET_WM_PID is the started process.
//
// Usage: coilrunner_launch PROGRAM [RUNS] [IDLE_MS] [REFERENCE]
//        (DISPLAY must be set)

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

// Whether the window belongs to the process, by its _NET_WM_PID.
bool IsWindowOf(Display* display, Window window, pid_t pid)
{
    const Atom wmPid = XInternAtom(display, "_NET_WM_PID", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, wmPid, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after, &data)
            != Success
        || !data)
        return false;
    const bool match = format == 32 && count == 1 && static_cast<pid_t>(*reinterpret_cast<unsigned long*>(data)) == pid;
    XFree(data);
    return match;
}

// Waits for a window of the process to be mapped; 0 after `timeoutMs`.
Window WaitForMap(Display* display, pid_t pid, int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const int fd = ConnectionNumber(display);
    for (;;) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && IsWindowOf(display, event.xmap.window, pid))
                return event.xmap.window;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return 0;
        pollfd p{fd, POLLIN, 0};
        poll(&p, 1, static_cast<int>(std::min<long long>(left, 50)));
    }
}

unsigned long CentrePixel(Display* display, Window window)
{
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, window, &attributes))
        return 0;
    XImage* image = XGetImage(display, window, attributes.width / 2, attributes.height / 2, 1, 1, AllPlanes, ZPixmap);
    if (!image)
        return 0;
    const unsigned long pixel = XGetPixel(image, 0, 0) & 0xFFFFFFu;
    XDestroyImage(image);
    return pixel;
}

// Waits until the window's centre is painted (no longer black); false after
// `timeoutMs`.
bool WaitForPaint(Display* display, Window window, int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < deadline) {
        if (CentrePixel(display, window) != 0)
            return true;
        usleep(500);
    }
    return false;
}

int IgnoreErrors(Display*, XErrorEvent*) { return 0; }

// The middle value; of an even count, the mean of the two middle ones.
double Median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const std::size_t half = v.size() / 2;
    return v.size() % 2 ? v[half] : (v[half - 1] + v[half]) / 2;
}

struct Series {
    const char* program;
    std::vector<double> shownMs, paintedMs, peakMb;
};

// One start of the program: false when its window did not show or was not
// painted within 10 s.
bool Launch(Display* display, Series& series, int run, int idleMs)
{
    XSync(display, True);   // drop events of earlier runs
    const auto start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execl(series.program, series.program, static_cast<char*>(nullptr));
        _exit(127);
    }
    const Window window = WaitForMap(display, child, 10000);
    const bool shown = window != 0;
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    const bool painted = shown && WaitForPaint(display, window, 10000);
    const double paintMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    usleep(static_cast<useconds_t>(idleMs) * 1000);
    kill(child, SIGTERM);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    const double mb = static_cast<double>(usage.ru_maxrss) / 1024.0;
    if (!shown) {
        std::printf("%s, run %d: the window did not show within 10 s\n", series.program, run + 1);
        return false;
    }
    if (!painted) {
        std::printf("%s, run %d: the window was not painted within 10 s\n", series.program, run + 1);
        return false;
    }
    std::printf("%s, run %d: window shown after %.1f ms, painted after %.1f ms, peak memory %.1f MB\n",
                series.program, run + 1, ms, paintMs, mb);
    std::fflush(stdout);
    series.shownMs.push_back(ms);
    series.paintedMs.push_back(paintMs);
    series.peakMb.push_back(mb);
    return true;
}

void PrintMedians(const Series& series)
{
    std::printf("median of %s: window shown after %.1f ms, painted after %.1f ms, peak memory %.1f MB (max %.1f MB)\n",
                series.program, Median(series.shownMs), Median(series.paintedMs), Median(series.peakMb),
                *std::max_element(series.peakMb.begin(), series.peakMb.end()));
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PROGRAM [RUNS] [IDLE_MS] [REFERENCE]\n", argv[0]);
        return 1;
    }
    const int runs = argc > 2 ? std::atoi(argv[2]) : 7;
    const int idleMs = argc > 3 ? std::atoi(argv[3]) : 1000;
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    XSetErrorHandler(IgnoreErrors);
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);

    std::vector<Series> series{{argv[1], {}, {}, {}}};
    if (argc > 4)
        series.push_back({argv[4], {}, {}, {}});
    for (int run = 0; run < runs; ++run)
        for (Series& s : series)
            if (!Launch(display, s, run, idleMs))
                return 2;
    for (const Series& s : series)
        PrintMedians(s);
    if (series.size() == 2)
        std::printf("ratio to the reference: window shown %.3fx, painted %.3fx\n",
                    Median(series[0].shownMs) / Median(series[1].shownMs),
                    Median(series[0].paintedMs) / Median(series[1].paintedMs));
    XCloseDisplay(display);
    return 0;
}
