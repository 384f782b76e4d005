// Drives a headless GNOME compositor (mutter) from outside, as a player's
// keyboard, mouse and eyes would: keys and clicks through its RemoteDesktop
// interface, pictures of the screen through its ScreenCast interface and
// PipeWire. A compositor keeps a remote-desktop session only while the
// program that opened it stays connected, so one process ("serve") holds the
// session and takes requests on a local socket; "ask" sends one request and
// prints the answer (tests/e2e/mutter.sh wraps both).
//
// Usage: coilrunner_mutter_remote serve <socket>
//            opens the sessions on the session bus, prints "ready" once the
//            first picture came, and answers requests until it is killed or
//            the compositor closes the session
//        coilrunner_mutter_remote ask <socket> <request...>
//            prints the answer; exits 0 when it begins with "ok"
// Requests (one line each):
//        key <code>...           press and release each evdev key code in turn
//        press <code> / release <code>
//        click <x> <y> [button]  move the pointer to x, y of the screen and click
//                                (evdev button code, default the left button)
//        move <x> <y>
//        shot <file>             a picture of the screen, taken at the request or
//                                after it, as a PNG file (answer
//                                "ok <width>x<height> <frame number>")
//        frames                  how many pictures came so far
// Every wait is bounded: a bus call gives up after 20 s, an answer after 30 s.

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QDir>
#include <QImage>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMutex>
#include <QMutexLocker>
#include <QPointF>
#include <QThread>
#include <QTimer>

#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

#include <cstdio>
#include <cstring>
#include <optional>

namespace {

constexpr int kBusCallTimeout = 20000;
constexpr int kAnswerTimeout = 30000;
constexpr int kFreshFrameBound = 10000;
constexpr int kLeftButton = 0x110;   // BTN_LEFT

const QString kRemoteDesktop = QStringLiteral("org.gnome.Mutter.RemoteDesktop");
const QString kScreenCast = QStringLiteral("org.gnome.Mutter.ScreenCast");

// --- the pictures -------------------------------------------------------------

// The latest frame of the stream, written by PipeWire's thread and read by
// the requests; one frame is kept.
struct Frames {
    QMutex mutex;
    QImage latest;
    quint64 count = 0;
    spa_video_info_raw format{};
};

struct Stream {
    pw_thread_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    pw_stream* stream = nullptr;
    spa_hook listener{};
    Frames* frames = nullptr;
};

QImage::Format QtFormatOf(spa_video_format format)
{
    switch (format) {
    case SPA_VIDEO_FORMAT_BGRx:
    case SPA_VIDEO_FORMAT_BGRA: return QImage::Format_RGB32;   // B, G, R, X in memory
    case SPA_VIDEO_FORMAT_RGBx:
    case SPA_VIDEO_FORMAT_RGBA: return QImage::Format_RGBX8888;
    default: return QImage::Format_Invalid;
    }
}

void OnParamChanged(void* data, uint32_t id, const spa_pod* param)
{
    auto* stream = static_cast<Stream*>(data);
    if (!param || id != SPA_PARAM_Format)
        return;
    spa_video_info_raw format{};
    if (spa_format_video_raw_parse(param, &format) < 0)
        return;
    QMutexLocker lock(&stream->frames->mutex);
    stream->frames->format = format;
}

void OnProcess(void* data)
{
    auto* stream = static_cast<Stream*>(data);
    pw_buffer* buffer = pw_stream_dequeue_buffer(stream->stream);
    if (!buffer)
        return;
    spa_buffer* spa = buffer->buffer;
    const spa_data& plane = spa->datas[0];
    spa_video_info_raw format;
    {
        QMutexLocker lock(&stream->frames->mutex);
        format = stream->frames->format;
    }
    QImage frame;
    if (plane.data && plane.chunk && plane.chunk->size > 0 && !(plane.chunk->flags & SPA_CHUNK_FLAG_CORRUPTED)) {
        const QImage::Format qtFormat = QtFormatOf(format.format);
        const int width = static_cast<int>(format.size.width), height = static_cast<int>(format.size.height);
        const int stride = plane.chunk->stride > 0 ? plane.chunk->stride : width * 4;
        if (qtFormat != QImage::Format_Invalid && width > 0 && height > 0
            && static_cast<quint64>(plane.chunk->offset) + static_cast<quint64>(stride) * static_cast<quint64>(height)
                   <= plane.maxsize) {
            // A copy that owns its pixels (a conversion to the format the
            // frame already has would still point into the buffer): the
            // buffer goes back to the compositor at once, which records no
            // frame while it has none free.
            const QImage view(static_cast<const uchar*>(plane.data) + plane.chunk->offset, width, height, stride,
                              qtFormat);
            frame = qtFormat == QImage::Format_RGB32 ? view.copy() : view.convertToFormat(QImage::Format_RGB32);
        }
    }
    pw_stream_queue_buffer(stream->stream, buffer);
    if (!frame.isNull()) {
        QMutexLocker lock(&stream->frames->mutex);
        stream->frames->latest = std::move(frame);
        ++stream->frames->count;
    }
}

const pw_stream_events kStreamEvents = [] {
    pw_stream_events events{};
    events.version = PW_VERSION_STREAM_EVENTS;
    events.param_changed = OnParamChanged;
    events.process = OnProcess;
    return events;
}();

// The formats offered: 32-bit pixels in either byte order, any size, any rate.
const spa_pod* FormatParam(spa_pod_builder* b)
{
    spa_pod_frame object, choice;
    spa_pod_builder_push_object(b, &object, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat);
    spa_pod_builder_prop(b, SPA_FORMAT_mediaType, 0);
    spa_pod_builder_id(b, SPA_MEDIA_TYPE_video);
    spa_pod_builder_prop(b, SPA_FORMAT_mediaSubtype, 0);
    spa_pod_builder_id(b, SPA_MEDIA_SUBTYPE_raw);
    spa_pod_builder_prop(b, SPA_FORMAT_VIDEO_format, 0);
    spa_pod_builder_push_choice(b, &choice, SPA_CHOICE_Enum, 0);
    spa_pod_builder_id(b, SPA_VIDEO_FORMAT_BGRx);
    for (const spa_video_format format : {SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA, SPA_VIDEO_FORMAT_RGBx,
                                          SPA_VIDEO_FORMAT_RGBA})
        spa_pod_builder_id(b, format);
    spa_pod_builder_pop(b, &choice);
    spa_pod_builder_prop(b, SPA_FORMAT_VIDEO_size, 0);
    spa_pod_builder_push_choice(b, &choice, SPA_CHOICE_Range, 0);
    spa_pod_builder_rectangle(b, 1280, 1024);
    spa_pod_builder_rectangle(b, 1, 1);
    spa_pod_builder_rectangle(b, 16384, 16384);
    spa_pod_builder_pop(b, &choice);
    spa_pod_builder_prop(b, SPA_FORMAT_VIDEO_framerate, 0);
    spa_pod_builder_push_choice(b, &choice, SPA_CHOICE_Range, 0);
    spa_pod_builder_fraction(b, 30, 1);
    spa_pod_builder_fraction(b, 0, 1);
    spa_pod_builder_fraction(b, 1000, 1);
    spa_pod_builder_pop(b, &choice);
    return static_cast<const spa_pod*>(spa_pod_builder_pop(b, &object));
}

bool ConnectStream(Stream& stream, uint32_t node)
{
    stream.loop = pw_thread_loop_new("screen", nullptr);
    if (!stream.loop)
        return false;
    stream.context = pw_context_new(pw_thread_loop_get_loop(stream.loop), nullptr, 0);
    if (!stream.context || pw_thread_loop_start(stream.loop) < 0)
        return false;
    pw_thread_loop_lock(stream.loop);
    bool ok = false;
    stream.core = pw_context_connect(stream.context, nullptr, 0);
    if (stream.core) {
        stream.stream = pw_stream_new(stream.core, "coilrunner-screen",
                                      pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
                                                        "Capture", PW_KEY_MEDIA_ROLE, "Screen", nullptr));
        if (stream.stream) {
            pw_stream_add_listener(stream.stream, &stream.listener, &kStreamEvents, &stream);
            uint8_t buffer[1024];
            spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
            const spa_pod* params[] = {FormatParam(&builder)};
            ok = pw_stream_connect(stream.stream, PW_DIRECTION_INPUT, node,
                                   static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS),
                                   params, 1)
                 == 0;
        }
    }
    pw_thread_loop_unlock(stream.loop);
    return ok;
}

// The stream's thread stops before the frame it writes goes away.
void CloseStream(Stream& stream)
{
    if (!stream.loop)
        return;
    pw_thread_loop_stop(stream.loop);
    if (stream.stream)
        pw_stream_destroy(stream.stream);
    if (stream.core)
        pw_core_disconnect(stream.core);
    if (stream.context)
        pw_context_destroy(stream.context);
    pw_thread_loop_destroy(stream.loop);
    stream = Stream{nullptr, nullptr, nullptr, nullptr, {}, stream.frames};
}

// --- the sessions -------------------------------------------------------------

class Remote : public QObject {
    Q_OBJECT
public:
    Remote(QString socketPath) : m_socketPath(std::move(socketPath)) {}
    ~Remote() override { CloseStream(m_pipewire); }

    bool Open()
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            return Fail(QStringLiteral("no session bus"));
        // The compositor takes its names on the bus a moment after it starts.
        QDeadlineTimer namesDeadline(kBusCallTimeout);
        while (!bus.interface()->isServiceRegistered(kRemoteDesktop).value()
               || !bus.interface()->isServiceRegistered(kScreenCast).value()) {
            if (namesDeadline.hasExpired())
                return Fail(QStringLiteral("the compositor's RemoteDesktop and ScreenCast are not on the bus"));
            QThread::msleep(50);
        }
        QDBusInterface desktop(kRemoteDesktop, QStringLiteral("/org/gnome/Mutter/RemoteDesktop"), kRemoteDesktop,
                               bus);
        desktop.setTimeout(kBusCallTimeout);
        QDBusReply<QDBusObjectPath> session = desktop.call(QStringLiteral("CreateSession"));
        if (!session.isValid())
            return Fail(QStringLiteral("RemoteDesktop.CreateSession: ") + session.error().message());
        m_session = session.value().path();
        QDBusInterface properties(kRemoteDesktop, m_session, QStringLiteral("org.freedesktop.DBus.Properties"), bus);
        properties.setTimeout(kBusCallTimeout);
        QDBusReply<QDBusVariant> id = properties.call(QStringLiteral("Get"), kRemoteDesktop + ".Session",
                                                      QStringLiteral("SessionId"));
        if (!id.isValid())
            return Fail(QStringLiteral("RemoteDesktop SessionId: ") + id.error().message());

        QDBusInterface cast(kScreenCast, QStringLiteral("/org/gnome/Mutter/ScreenCast"), kScreenCast, bus);
        cast.setTimeout(kBusCallTimeout);
        QVariantMap castOptions{{QStringLiteral("remote-desktop-session-id"), id.value().variant().toString()}};
        QDBusReply<QDBusObjectPath> castSession = cast.call(QStringLiteral("CreateSession"), castOptions);
        if (!castSession.isValid())
            return Fail(QStringLiteral("ScreenCast.CreateSession: ") + castSession.error().message());
        QDBusInterface castSessionObject(kScreenCast, castSession.value().path(), kScreenCast + ".Session", bus);
        castSessionObject.setTimeout(kBusCallTimeout);
        // The pointer is left out of the pictures.
        QVariantMap monitorOptions{{QStringLiteral("cursor-mode"), QVariant::fromValue(0u)}};
        QDBusReply<QDBusObjectPath> stream =
            castSessionObject.call(QStringLiteral("RecordMonitor"), QString(), monitorOptions);
        if (!stream.isValid())
            return Fail(QStringLiteral("ScreenCast.RecordMonitor: ") + stream.error().message());
        m_stream = stream.value().path();
        bus.connect(kScreenCast, m_stream, kScreenCast + ".Stream", QStringLiteral("PipeWireStreamAdded"), this,
                    SLOT(OnStreamAdded(uint)));
        bus.connect(kRemoteDesktop, m_session, kRemoteDesktop + ".Session", QStringLiteral("Closed"), this,
                    SLOT(OnClosed()));
        m_desktop = new QDBusInterface(kRemoteDesktop, m_session, kRemoteDesktop + ".Session", bus, this);
        m_desktop->setTimeout(kBusCallTimeout);
        QDBusReply<void> started = m_desktop->call(QStringLiteral("Start"));
        if (!started.isValid())
            return Fail(QStringLiteral("RemoteDesktop.Session.Start: ") + started.error().message());

        QLocalServer::removeServer(m_socketPath);
        if (!m_server.listen(m_socketPath))
            return Fail(QStringLiteral("cannot listen on ") + m_socketPath + ": " + m_server.errorString());
        connect(&m_server, &QLocalServer::newConnection, this, &Remote::OnConnection);
        // "ready" once the first picture is in.
        connect(&m_readyPoll, &QTimer::timeout, this, [this] {
            QMutexLocker lock(&m_frames.mutex);
            if (m_frames.count > 0) {
                m_readyPoll.stop();
                std::printf("ready\n");
                std::fflush(stdout);
            }
        });
        m_readyPoll.start(20);
        return true;
    }

public slots:
    void OnStreamAdded(uint node)
    {
        if (!ConnectStream(m_pipewire, node)) {
            Fail(QStringLiteral("cannot connect to the PipeWire stream %1").arg(node));
            QCoreApplication::exit(1);
        }
    }
    void OnClosed()
    {
        Fail(QStringLiteral("the compositor closed the remote-desktop session"));
        QCoreApplication::exit(1);
    }

private:
    bool Fail(const QString& why)
    {
        std::fprintf(stderr, "coilrunner_mutter_remote: %s\n", qPrintable(why));
        return false;
    }

    void OnConnection()
    {
        while (QLocalSocket* client = m_server.nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            connect(client, &QLocalSocket::readyRead, this, [this, client] {
                if (!client->canReadLine())
                    return;
                const QString answer = Answer(QString::fromUtf8(client->readLine()).trimmed());
                client->write(answer.toUtf8() + '\n');
                client->flush();
                client->disconnectFromServer();
            });
        }
    }

    QString Call(const QString& method, const QList<QVariant>& args)
    {
        QDBusMessage reply = m_desktop->callWithArgumentList(QDBus::Block, method, args);
        return reply.type() == QDBusMessage::ErrorMessage ? QStringLiteral("error ") + method + ": " + reply.errorMessage()
                                                          : QString();
    }

    QString Answer(const QString& line)
    {
        const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.isEmpty())
            return QStringLiteral("error empty request");
        const QString& verb = words.first();
        bool ok = true;
        auto number = [&](int index) {
            bool good = false;
            const double value = index < words.size() ? words[index].toDouble(&good) : 0;
            ok = ok && good;
            return value;
        };
        QString error;
        if (verb == QLatin1String("key") || verb == QLatin1String("press") || verb == QLatin1String("release")) {
            for (int i = 1; i < words.size() && error.isEmpty(); ++i) {
                const uint code = static_cast<uint>(number(i));
                if (!ok)
                    return QStringLiteral("error bad key code ") + words[i];
                if (verb != QLatin1String("release"))
                    error = Call(QStringLiteral("NotifyKeyboardKeycode"), {code, true});
                if (error.isEmpty() && verb != QLatin1String("press"))
                    error = Call(QStringLiteral("NotifyKeyboardKeycode"), {code, false});
            }
            if (words.size() < 2)
                return QStringLiteral("error no key code");
        } else if (verb == QLatin1String("click") || verb == QLatin1String("move")) {
            const double x = number(1), y = number(2);
            const int button = words.size() > 3 ? static_cast<int>(number(3)) : kLeftButton;
            if (!ok)
                return QStringLiteral("error bad position: ") + line;
            error = Call(QStringLiteral("NotifyPointerMotionAbsolute"), {m_stream, x, y});
            if (error.isEmpty())
                m_pointer = QPointF(x, y);
            if (error.isEmpty() && verb == QLatin1String("click"))
                error = Call(QStringLiteral("NotifyPointerButton"), {button, true});
            if (error.isEmpty() && verb == QLatin1String("click"))
                error = Call(QStringLiteral("NotifyPointerButton"), {button, false});
        } else if (verb == QLatin1String("shot") && words.size() == 2) {
            const QImage picture = FreshFrame();
            if (picture.isNull())
                return QStringLiteral("error no picture yet");
            if (!picture.save(words[1], "PNG"))
                return QStringLiteral("error cannot write ") + words[1];
            return QStringLiteral("ok %1x%2 %3").arg(picture.width()).arg(picture.height()).arg(FrameCount());
        } else if (verb == QLatin1String("frames")) {
            QMutexLocker lock(&m_frames.mutex);
            return QStringLiteral("ok %1").arg(m_frames.count);
        } else {
            return QStringLiteral("error unknown request: ") + line;
        }
        return error.isEmpty() ? QStringLiteral("ok") : error;
    }

    quint64 FrameCount()
    {
        QMutexLocker lock(&m_frames.mutex);
        return m_frames.count;
    }

    // A picture of the screen as it is now or later: the compositor sends a
    // frame only when it repaints, and drops one when it has no buffer free,
    // so the latest frame may be older than the screen. A pointer motion to
    // where the pointer stands (nothing under it notices) makes it repaint;
    // it is repeated until a new frame is in, within the bound.
    QImage FreshFrame()
    {
        const quint64 before = FrameCount();
        const QDeadlineTimer deadline(kFreshFrameBound);
        while (FrameCount() == before && !deadline.hasExpired() && m_pointer) {
            if (!Call(QStringLiteral("NotifyPointerMotionAbsolute"), {m_stream, m_pointer->x(), m_pointer->y()}).isEmpty())
                break;
            const QDeadlineTimer poke(1000);
            while (FrameCount() == before && !poke.hasExpired())
                QThread::msleep(5);
        }
        QMutexLocker lock(&m_frames.mutex);
        return m_frames.latest;
    }

    QString m_socketPath;
    std::optional<QPointF> m_pointer;   // where the pointer was put last
    QString m_session, m_stream;
    QDBusInterface* m_desktop = nullptr;
    QLocalServer m_server;
    QTimer m_readyPoll;
    Frames m_frames;
    Stream m_pipewire{nullptr, nullptr, nullptr, nullptr, {}, &m_frames};
};

int Ask(const QString& socketPath, QStringList words)
{
    // A file named in a request is the asker's, relative to its folder.
    if (words.size() == 2 && words.first() == QLatin1String("shot"))
        words[1] = QDir::current().absoluteFilePath(words[1]);
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(kAnswerTimeout)) {
        std::fprintf(stderr, "coilrunner_mutter_remote: cannot reach %s: %s\n", qPrintable(socketPath),
                     qPrintable(socket.errorString()));
        return 1;
    }
    socket.write(words.join(QLatin1Char(' ')).toUtf8() + '\n');
    socket.flush();
    QByteArray answer;
    QDeadlineTimer deadline(kAnswerTimeout);
    while (!answer.contains('\n') && !deadline.hasExpired()) {
        if (!socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())) && socket.bytesAvailable() == 0)
            break;
        answer += socket.readAll();
    }
    answer = answer.trimmed();
    if (answer.isEmpty()) {
        std::fprintf(stderr, "coilrunner_mutter_remote: no answer to \"%s\"\n", qPrintable(words.join(' ')));
        return 1;
    }
    std::printf("%s\n", answer.constData());
    return answer.startsWith("ok") ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 3 || (std::strcmp(argv[1], "serve") != 0 && std::strcmp(argv[1], "ask") != 0)
        || (std::strcmp(argv[1], "ask") == 0 && argc < 4)) {
        std::fprintf(stderr, "usage: %s serve <socket> | ask <socket> <request...>\n", argv[0]);
        return 2;
    }
    QCoreApplication app(argc, argv);
    const QString socketPath = QString::fromLocal8Bit(argv[2]);
    if (std::strcmp(argv[1], "ask") == 0) {
        QStringList words;
        for (int i = 3; i < argc; ++i)
            words << QString::fromLocal8Bit(argv[i]);
        return Ask(socketPath, words);
    }
    pw_init(&argc, &argv);
    Remote remote(socketPath);
    if (!remote.Open())
        return 1;
    return app.exec();
}

#include "MutterRemote.moc"
