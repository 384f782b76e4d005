// Launch time and peak memory of the program on an X server: starts the
// program several times, takes the time from the start of the process to the
// mapping of its main window (the window is shown) and to its first paint
// (the window's centre pixel turns from the black of the server's root to the
// dialog's own colour; run the server with -br), lets it idle a moment, ends
// it and reads its peak resident memory. Prints each run and the medians.
//
// Usage: coilrunner_launch PROGRAM [RUNS] [IDLE_MS]   (DISPLAY must be set)

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

const char* const kTitle = "Quillware Coilrunner";

bool IsMainWindow(Display* display, Window window)
{
    char* name = nullptr;
    if (!XFetchName(display, window, &name) || !name)
        return false;
    const bool match = std::strstr(name, kTitle) != nullptr;
    XFree(name);
    return match;
}

// Waits for the main window to be mapped; 0 after `timeoutMs`.
Window WaitForMap(Display* display, int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const int fd = ConnectionNumber(display);
    for (;;) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && IsMainWindow(display, event.xmap.window))
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

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PROGRAM [RUNS] [IDLE_MS]\n", argv[0]);
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

    std::vector<double> shownMs, paintedMs, peakMb;
    for (int run = 0; run < runs; ++run) {
        XSync(display, True);   // drop events of earlier runs
        const auto start = Clock::now();
        const pid_t child = fork();
        if (child == 0) {
            execl(argv[1], argv[1], static_cast<char*>(nullptr));
            _exit(127);
        }
        const Window window = WaitForMap(display, 10000);
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
            std::printf("run %d: the window did not show within 10 s\n", run + 1);
            return 2;
        }
        if (!painted) {
            std::printf("run %d: the window was not painted within 10 s\n", run + 1);
            return 2;
        }
        std::printf("run %d: window shown after %.1f ms, painted after %.1f ms, peak memory %.1f MB\n", run + 1, ms,
                    paintMs, mb);
        shownMs.push_back(ms);
        paintedMs.push_back(paintMs);
        peakMb.push_back(mb);
    }
    std::printf("median: window shown after %.1f ms, painted after %.1f ms, peak memory %.1f MB (max %.1f MB)\n",
                Median(shownMs), Median(paintedMs), Median(peakMb), *std::max_element(peakMb.begin(), peakMb.end()));
    XCloseDisplay(display);
    return 0;
}
