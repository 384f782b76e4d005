// The desktop's event sounds for the message-box types, handed to the sound
// server by a worker thread through libcanberra, which is loaded with the
// first sound; and the seam through which tests take the player's place. It
// knows nothing of what the sounds stand for in the game.

#include "platform/Sound.h"
#include "platform/Application.h"
#include "platform/Modal.h"

#include <QApplication>
#include <canberra.h>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <dlfcn.h>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

namespace platform {

const char* EventSoundName(unsigned type)
{
    if (type == 0xFFFFFFFFu)
        return nullptr;
    switch (type & 0xF0u) {
    case MB_ICONHAND: return "dialog-error";
    case MB_ICONEXCLAMATION: return "dialog-warning";
    case MB_ICONASTERISK: return "dialog-information";
    default: return "bell";
    }
}

namespace {

// alsa-lib writes its errors straight to the terminal. Without a sound card
// every sound would print a screenful of them, so its error handler is
// replaced by a silent one. The library is the one the sound system's output
// driver loads; it stays loaded for the program's life.
void QuietAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

void SilenceAlsa()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_GLOBAL);
    if (!alsa)
        return;
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    using SetHandler = int (*)(Handler);
    if (auto set = reinterpret_cast<SetHandler>(dlsym(alsa, "snd_lib_error_set_handler")))
        set(&QuietAlsaErrors);
}

// The sounds waiting for the worker. Shared by the player and its worker
// thread and never freed: the worker may be stuck in the sound system when
// the program ends, and must not be waited for then.
struct SoundQueue {
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::deque<const char*> pending;
    bool playing = false;
    // Set before the worker starts, and the same from then on.
    std::string appName;
    std::string appId;   // the .desktop file's name, when the program has one
};

// Sounds asked for while the worker is busy pile up no further than this;
// the rest are dropped, as they would come too late anyway.
constexpr std::size_t kMaxPending = 4;

// libcanberra, loaded by the worker when the first sound is asked for: the
// library and the half dozen it brings (the Ogg decoder, the sound-theme
// cache, the driver loader) stay out of the program's start.
struct Canberra {
    using Create = int (*)(ca_context**);
    using ChangeProps = int (*)(ca_context*, ...);
    using Open = int (*)(ca_context*);
    using Play = int (*)(ca_context*, std::uint32_t, ...);
    using Destroy = int (*)(ca_context*);

    Create create = nullptr;
    ChangeProps changeProps = nullptr;
    Open open = nullptr;
    Play play = nullptr;
    Destroy destroy = nullptr;

    // False when the library cannot be loaded: every sound is silent then.
    bool Load()
    {
        if (create)
            return true;
        static void* library = dlopen("libcanberra.so.0", RTLD_NOW | RTLD_LOCAL);
        if (!library)
            return false;
        const auto find = [](const char* name) { return dlsym(library, name); };
        changeProps = reinterpret_cast<ChangeProps>(find("ca_context_change_props"));
        open = reinterpret_cast<Open>(find("ca_context_open"));
        play = reinterpret_cast<Play>(find("ca_context_play"));
        destroy = reinterpret_cast<Destroy>(find("ca_context_destroy"));
        const auto made = reinterpret_cast<Create>(find("ca_context_create"));
        if (!changeProps || !open || !play || !destroy || !made)
            return false;
        create = made;
        return true;
    }
};

// The sound server shows the sounds under the application's name, and with
// its id and icon, which the desktop's mixer finds the menu entry by.
ca_context* OpenContext(Canberra& ca, const std::string& appName, const std::string& appId)
{
    SilenceAlsa();
    if (!ca.Load())
        return nullptr;
    ca_context* context = nullptr;
    if (ca.create(&context) != CA_SUCCESS)
        return nullptr;
    ca.changeProps(context, CA_PROP_APPLICATION_NAME, appName.c_str(), nullptr);
    if (!appId.empty())
        ca.changeProps(context, CA_PROP_APPLICATION_ID, appId.c_str(), CA_PROP_APPLICATION_ICON_NAME, appId.c_str(),
                       nullptr);
    if (ca.open(context) != CA_SUCCESS) {
        ca.destroy(context);
        return nullptr;
    }
    return context;
}

// Hands the sounds to the sound system one by one. The context is opened on
// the first sound and again after it was lost, so that a sound server that
// starts later is found; every failure just leaves the sound unplayed.
void PlayLoop(SoundQueue* queue)
{
    Canberra ca;
    ca_context* context = nullptr;
    for (;;) {
        const char* name;
        {
            std::unique_lock lock(queue->mutex);
            queue->playing = false;
            if (queue->pending.empty())
                queue->idle.notify_all();
            queue->wake.wait(lock, [queue] { return !queue->pending.empty(); });
            name = queue->pending.front();
            queue->pending.pop_front();
            queue->playing = true;
        }
        if (!context)
            context = OpenContext(ca, queue->appName, queue->appId);
        if (!context)
            continue;
        // An event sound, as the desktop's alerts are: the sound server puts
        // it under the alert volume and "mute alerts".
        const int result = ca.play(context, 0, CA_PROP_EVENT_ID, name, CA_PROP_MEDIA_ROLE, "event",
                                   CA_PROP_CANBERRA_CACHE_CONTROL, "volatile", nullptr);
        if (result == CA_ERROR_DISCONNECTED || result == CA_ERROR_STATE) {
            ca.destroy(context);
            context = nullptr;
        }
    }
}

class DesktopSound : public SoundPlayer {
public:
    void MessageBeep(unsigned type) override
    {
        const char* name = EventSoundName(type);
        if (!name) {
            QApplication::beep();
            return;
        }
        SoundQueue& queue = Queue();
        std::lock_guard lock(queue.mutex);
        if (queue.pending.size() >= kMaxPending)
            return;
        queue.pending.push_back(name);
        queue.wake.notify_one();
    }

    bool WaitIdle(std::chrono::milliseconds timeout)
    {
        if (!m_queue)
            return true;
        std::unique_lock lock(m_queue->mutex);
        return m_queue->idle.wait_for(lock, timeout,
                                      [this] { return m_queue->pending.empty() && !m_queue->playing; });
    }

private:
    SoundQueue& Queue()
    {
        if (!m_queue) {
            m_queue = new SoundQueue;
            m_queue->appName = AppDisplayName().toStdString();
            m_queue->appId = QGuiApplication::desktopFileName().toStdString();
            std::thread(PlayLoop, m_queue).detach();
        }
        return *m_queue;
    }

    SoundQueue* m_queue = nullptr;
};

DesktopSound g_desktop;
SoundPlayer* g_player = nullptr;

} // namespace

void MessageBeep(unsigned type)
{
    (g_player ? g_player : &g_desktop)->MessageBeep(type);
}

SoundPlayer* SetSoundPlayer(SoundPlayer* player)
{
    return std::exchange(g_player, player);
}

bool WaitForDesktopSounds(std::chrono::milliseconds timeout)
{
    return g_desktop.WaitIdle(timeout);
}

} // namespace platform
