// Prints the startup-notification messages that X clients send to the root
// window (_NET_STARTUP_INFO_BEGIN and _NET_STARTUP_INFO, 20 bytes a piece,
// a message ending at its first NUL), one message per line, as a launcher
// receives them. Prints "ready" once it listens. Runs until killed.
//
// Usage: coilrunner_startup_watch   (DISPLAY must be set)

#include <X11/Xlib.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

int main()
{
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "coilrunner_startup_watch: no X display\n");
        return 1;
    }
    const Atom begin = XInternAtom(display, "_NET_STARTUP_INFO_BEGIN", False);
    const Atom more = XInternAtom(display, "_NET_STARTUP_INFO", False);
    XSelectInput(display, DefaultRootWindow(display), PropertyChangeMask);
    XSync(display, False);
    std::printf("ready\n");
    std::fflush(stdout);

    // The message under way from each sender's window.
    std::map<Window, std::string> partial;
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type != ClientMessage || event.xclient.format != 8)
            continue;
        const XClientMessageEvent& message = event.xclient;
        if (message.message_type != begin && message.message_type != more)
            continue;
        std::string& text = partial[message.window];
        if (message.message_type == begin)
            text.clear();
        const char* bytes = message.data.b;
        const std::size_t length = strnlen(bytes, 20);
        text.append(bytes, length);
        if (length < 20) {
            std::printf("%s\n", text.c_str());
            std::fflush(stdout);
            partial.erase(message.window);
        }
    }
}
