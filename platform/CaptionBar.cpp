// The caption bar the program draws, and whether it draws one. Where the
// toolkit draws the caption bars itself (Qt 6.4 on a Wayland compositor that
// leaves them to the program), it offers maximise on every window, fixed-size
// ones too. There the windows are frameless and carry this bar instead: the
// icon, the title, minimise where the window offers it and close where it has
// a system menu. Dragging it moves the window; a right click goes on to the
// window beneath, which opens its window menu, as anywhere else on it.
//
// In a GNOME session the bar is drawn as GNOME draws the bars of its own
// windows (the Adwaita header bar of a window without a title bar of its
// own): 37 pixels high, the title bold in the middle, the grey of the
// desktop's light or dark style, paler when the window is inactive, and
// round buttons where the desktop's button layout puts them.
//
// The bar works from the window it lies on alone (its flags, title, icon,
// palette and activation) and from what the desktop's title-bar settings
// say: it knows nothing of templates or dialogs.

#include "platform/internal/CaptionBar.h"
#include "platform/internal/Contrast.h"
#include "platform/internal/Decorations.h"
#include "platform/internal/TitleBarSettings.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QToolButton>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <functional>
#include <utility>
#include <vector>

namespace platform {

namespace {

bool g_ownCaptionForced = false;

// The colours of the caption bar: behind, the palette's highlight for an
// active window and its mid tone for an inactive one; in front (the title
// and the buttons' glyphs), the palette's text colour for that background,
// or black or white where it would stand out by less than 4.5:1.
struct CaptionColors {
    QColor bar;
    QColor text;
};

CaptionColors CaptionColorsOf(const QWidget* window)
{
    const bool active = window->isActiveWindow();
    const QPalette::ColorGroup group = active ? QPalette::Active : QPalette::Inactive;
    const QPalette& palette = window->palette();
    QColor bar = palette.color(group, active ? QPalette::Highlight : QPalette::Mid).toRgb();
    bar.setAlpha(255);
    return {bar, LegibleOn(bar, palette.color(group, active ? QPalette::HighlightedText : QPalette::Light))};
}

// A button of the caption bar. Its glyph is drawn here in the bar's text
// colour, which stands out from the bar: the style's title-bar icons have
// colours of their own, dark grey on any bar. Hovered, the button is framed
// in that colour; pressed, it is filled with it and the glyph takes the bar's
// colour, the same contrast the other way round.
class CaptionButton : public QToolButton {
public:
    enum class Glyph { Minimise, Close };

    CaptionButton(Glyph glyph, QWidget* parent) : QToolButton(parent), m_glyph(glyph) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        const CaptionColors colors = CaptionColorsOf(window());
        QColor ink = colors.text;
        QPainter painter(this);
        if (isDown()) {
            painter.fillRect(rect(), colors.text);
            ink = colors.bar;
        } else if (underMouse()) {
            painter.setPen(QPen(colors.text, 1));
            painter.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
        }
        // The glyph fills the middle two fifths of the button, in strokes
        // of two pixels.
        const int side = std::max(6, (std::min(width(), height()) * 2 / 5) & ~1);
        const QRect box((width() - side) / 2, (height() - side) / 2, side, side);
        if (m_glyph == Glyph::Minimise) {
            painter.fillRect(QRect(box.left(), box.bottom() - 1, side, 2), ink);
        } else {
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(QPen(ink, 2, Qt::SolidLine, Qt::SquareCap));
            const QRectF inner = QRectF(box).adjusted(1, 1, -1, -1);
            painter.drawLine(inner.topLeft(), inner.bottomRight());
            painter.drawLine(inner.bottomLeft(), inner.topRight());
        }
    }

private:
    const Glyph m_glyph;
};

// What every caption bar does: it lies across the window's top at its own
// height, follows the window's title, activation, palette and icon, and
// moves the window when dragged. Its buttons are made by the bar, and placed
// by it whenever the window's width changes.
class BarBase : public QWidget {
public:
    BarBase(QWidget* window, int height) : QWidget(window), m_height(height)
    {
        setObjectName(QStringLiteral("caption"));
        setAccessibleName(window->windowTitle());
        const Qt::WindowFlags flags = window->windowFlags();
        m_offersMinimise = flags & Qt::WindowMinimizeButtonHint;
        m_offersClose = flags & Qt::WindowCloseButtonHint;
        window->installEventFilter(this);
        setGeometry(0, 0, window->width(), m_height);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::Resize:
            setGeometry(0, 0, window()->width(), m_height);
            PlaceButtons();
            break;
        case QEvent::WindowTitleChange:
            setAccessibleName(window()->windowTitle());
            PlaceButtons();   // a centred title takes its room by its width
            update();
            break;
        case QEvent::ActivationChange:
        case QEvent::PaletteChange:
            // The buttons' colours follow the bar's.
            UpdateAll();
            break;
        case QEvent::WindowIconChange:
            update();
            break;
        default:
            break;
        }
        return QWidget::eventFilter(watched, event);
    }

    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton && window()->windowHandle())
            window()->windowHandle()->startSystemMove();
        else
            QWidget::mousePressEvent(event);
    }

    virtual void PlaceButtons() = 0;

    void UpdateAll()
    {
        for (QToolButton* button : m_buttons)
            button->update();
        update();
    }

    void AddButton(QToolButton* button, const QString& name, const QString& text, const std::function<void()>& action)
    {
        button->setObjectName(name);
        button->setAccessibleName(text);
        button->setToolTip(text);
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        QObject::connect(button, &QToolButton::clicked, this, action);
        button->show();
        m_buttons.push_back(button);
    }
    void AddMinimise(QToolButton* button)
    {
        QWidget* window = this->window();
        AddButton(button, QStringLiteral("minimise"), QStringLiteral("Minimise"), [window] { window->showMinimized(); });
    }
    void AddClose(QToolButton* button)
    {
        QWidget* window = this->window();
        AddButton(button, QStringLiteral("close"), QStringLiteral("Close"), [window] { window->close(); });
    }

    // The window's flags when the bar was made: a frameless window keeps
    // no button hints.
    bool m_offersMinimise = false;
    bool m_offersClose = false;
    std::vector<QToolButton*> m_buttons;

private:
    const int m_height;
};

// The program's own bar: the palette's highlight, the icon and the title at
// the left, the buttons at the right.
class CaptionBar : public BarBase {
public:
    explicit CaptionBar(QWidget* window) : BarBase(window, kCaptionHeight)
    {
        if (m_offersMinimise)
            AddMinimise(new CaptionButton(CaptionButton::Glyph::Minimise, this));
        if (m_offersClose)
            AddClose(new CaptionButton(CaptionButton::Glyph::Close, this));
        PlaceButtons();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const CaptionColors colors = CaptionColorsOf(window());
        painter.fillRect(rect(), colors.bar);
        const int inset = (kCaptionHeight - 16) / 2;
        window()->windowIcon().paint(&painter, QRect(inset, inset, 16, 16));
        painter.setPen(colors.text);
        const QRect text(16 + 2 * inset, 0, TextRight() - 16 - 2 * inset, kCaptionHeight);
        painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter,
                         fontMetrics().elidedText(window()->windowTitle(), Qt::ElideRight, text.width()));
    }

    // The buttons sit at the right edge, close rightmost.
    void PlaceButtons() override
    {
        const int size = kCaptionHeight - 4;
        int x = width() - 2;
        for (auto it = m_buttons.rbegin(); it != m_buttons.rend(); ++it) {
            x -= size;
            (*it)->setGeometry(x, 2, size, size);
        }
    }

private:
    int TextRight() const { return width() - 4 - static_cast<int>(m_buttons.size()) * (kCaptionHeight - 4); }
};

// --- GNOME's bar ----------------------------------------------------------------

// The measures of the Adwaita header bar of a window without a title bar of
// its own, in logical pixels: 36 pixels of bar and a line of shade below;
// 4 pixels from either edge to the first button; buttons of 30 pixels, 3
// apart, each with a round backing of 20 pixels; a spacer's gap of three
// quarters of a button, as the compositor leaves it; 12 pixels of room on
// either side of the title, and the title in bold at the size of the
// desktop's interface font (11 points).
constexpr int kGnomeBarBody = kGnomeCaptionHeight - 1;
constexpr int kGnomeEdge = 4;
constexpr int kGnomeButton = 30;
constexpr int kGnomeButtonSpacing = 3;
constexpr int kGnomeBacking = 20;
constexpr int kGnomeGap = kGnomeButton * 3 / 4;
constexpr int kGnomeTitlePadding = 12;
constexpr int kGnomeTitlePixels = 15;

enum class GnomeButtonState { Normal, Hovered, Pressed };

struct GnomeCaptionColors {
    QColor bar, shade, title, backing, glyph;
};

QColor Over(const QColor& below, const QColor& above, double alpha)
{
    auto channel = [alpha](int b, int a) { return static_cast<int>(std::lround(b + (a - b) * alpha)); };
    return QColor(channel(below.red(), above.red()), channel(below.green(), above.green()),
                  channel(below.blue(), above.blue()));
}

// The colours of the light and the dark style: the bar (the window's own
// grey when the window is inactive), the text and glyphs, drawn at an
// opacity, and the shade below the bar. An inactive window's title and
// buttons are drawn at half their opacity, each made no paler than the
// contrast of legible text allows.
GnomeCaptionColors GnomeColorsFor(bool dark, bool active, GnomeButtonState state)
{
    const QColor bar = dark ? (active ? QColor(0x30, 0x30, 0x30) : QColor(0x24, 0x24, 0x24))
                            : (active ? QColor(0xeb, 0xeb, 0xeb) : QColor(0xfa, 0xfa, 0xfa));
    const QColor ink = dark ? QColor(Qt::white) : QColor(Qt::black);
    const double inkAlpha = dark ? 1.0 : 0.8;
    const double opacity = active ? 1.0 : 0.5;
    const double shade = dark ? 0.36 : 0.07;
    const double backing = state == GnomeButtonState::Pressed ? 0.30 : state == GnomeButtonState::Hovered ? 0.15 : 0.10;

    GnomeCaptionColors colors;
    colors.bar = bar;
    colors.shade = Over(bar, Qt::black, shade);
    colors.title = NearestLegible(bar, Over(bar, ink, inkAlpha * opacity));
    colors.backing = Over(bar, ink, inkAlpha * backing * opacity);
    // The glyph covers its backing: together they are as opaque as this.
    const double glyphAlpha = inkAlpha + inkAlpha * backing * (1 - inkAlpha);
    colors.glyph = NearestLegible(colors.backing, Over(bar, ink, glyphAlpha * opacity));
    return colors;
}

// A round button of GNOME's bar: a disc of the bar's ink, a little darker
// (or, dark, lighter) when hovered and more when pressed, and the glyph on it.
class GnomeCaptionButton : public QToolButton {
public:
    enum class Glyph { Minimise, Close };

    GnomeCaptionButton(Glyph glyph, QWidget* parent) : QToolButton(parent), m_glyph(glyph)
    {
        setAttribute(Qt::WA_Hover);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        const GnomeButtonState state = isDown() ? GnomeButtonState::Pressed
            : underMouse()                      ? GnomeButtonState::Hovered
                                                : GnomeButtonState::Normal;
        const GnomeCaptionColors colors =
            GnomeColorsFor(DesktopTitleBarSettings().dark, window()->isActiveWindow(), state);
        QPainter painter(this);
        painter.fillRect(rect(), colors.bar);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF disc((width() - kGnomeBacking) / 2.0, (height() - kGnomeBacking) / 2.0, kGnomeBacking,
                          kGnomeBacking);
        painter.setPen(Qt::NoPen);
        painter.setBrush(colors.backing);
        painter.drawEllipse(disc);
        // The glyph, as the desktop's symbolic icons draw it on 16 pixels:
        // a cross of strokes of about 1.5 pixels from corner to corner of
        // the middle 8, or a bar of 8 by 2 low in the middle.
        const QPointF origin = disc.center() - QPointF(8, 8);
        if (m_glyph == Glyph::Minimise) {
            painter.fillRect(QRectF(origin + QPointF(4, 10), QSizeF(8, 2)), colors.glyph);
        } else {
            painter.setPen(QPen(colors.glyph, 1.5, Qt::SolidLine, Qt::RoundCap));
            painter.drawLine(origin + QPointF(4.5, 4.5), origin + QPointF(11.5, 11.5));
            painter.drawLine(origin + QPointF(4.5, 11.5), origin + QPointF(11.5, 4.5));
        }
    }

private:
    const Glyph m_glyph;
};

class GnomeCaptionBar : public BarBase {
public:
    explicit GnomeCaptionBar(QWidget* window) : BarBase(window, kGnomeCaptionHeight)
    {
        // The icon and minimise belong to a window of its own, not to a
        // box or dialog that another window owns, as on GNOME's windows.
        m_ownWindow = !window->parentWidget();
        Rebuild();
        QObject::connect(&TitleBarSettingsChanges(), &TitleBarSettingsNotifier::changed, this, [this] {
            if (DesktopTitleBarSettings().buttonLayout != m_layout)
                Rebuild();
            UpdateAll();
        });
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const GnomeCaptionColors colors =
            GnomeColorsFor(DesktopTitleBarSettings().dark, window()->isActiveWindow(), GnomeButtonState::Normal);
        painter.fillRect(QRect(0, 0, width(), kGnomeBarBody), colors.bar);
        painter.fillRect(QRect(0, kGnomeBarBody, width(), height() - kGnomeBarBody), colors.shade);
        if (!m_icon.isNull())
            window()->windowIcon().paint(&painter, m_icon.adjusted(7, 7, -7, -7));
        painter.setFont(TitleFont());
        painter.setPen(colors.title);
        painter.drawText(m_title, Qt::AlignCenter,
                         QFontMetrics(TitleFont()).elidedText(window()->windowTitle(), Qt::ElideRight,
                                                              m_title.width()));
    }

    // The left corner's places from the left edge, the right corner's
    // towards the right edge, each in the layout's order; the title in the
    // middle of the bar, or as near to it as the corners let it be.
    void PlaceButtons() override
    {
        const int top = (kGnomeBarBody - kGnomeButton) / 2;
        m_icon = QRect();
        auto lay = [&](const std::vector<PlacedItem>& places, int x, bool towardsRight) {
            int used = 0;
            for (size_t i = 0; i < places.size(); ++i) {
                const int advance = kGnomeButton + (places[i].gapAfter ? kGnomeGap : 0)
                    + (i + 1 < places.size() ? kGnomeButtonSpacing : 0);
                used += advance;
                const int left = towardsRight ? x : x - kGnomeButton;
                x += towardsRight ? advance : -advance;
                const QRect box(left, top, kGnomeButton, kGnomeButton);
                if (places[i].place == TitleBarPlace::Icon)
                    m_icon = box;
                else if (QToolButton* button = ButtonFor(places[i].place))
                    button->setGeometry(box);
            }
            return used;
        };
        // The right corner is laid from its last place leftwards.
        std::vector<PlacedItem> right(m_shown.right.rbegin(), m_shown.right.rend());
        for (size_t i = 0; i + 1 < right.size(); ++i) {
            // A gap follows a place in the layout's order: seen from the
            // right, it comes before the place it followed.
            right[i].gapAfter = right[i + 1].gapAfter;
        }
        if (!right.empty())
            right.back().gapAfter = false;
        const int leftUsed = lay(m_shown.left, kGnomeEdge, true);
        const int rightUsed = lay(right, width() - kGnomeEdge, false);

        const int start = kGnomeEdge + leftUsed;
        const int end = width() - kGnomeEdge - rightUsed;
        const int wanted = QFontMetrics(TitleFont()).horizontalAdvance(window()->windowTitle()) + 2 * kGnomeTitlePadding;
        const int room = std::max(0, end - start);
        const int span = std::min(wanted, room);
        const int x = std::clamp((width() - span) / 2, start, std::max(start, end - span));
        m_title = QRect(x + kGnomeTitlePadding, 0, std::max(0, span - 2 * kGnomeTitlePadding), kGnomeBarBody);
    }

private:
    QFont TitleFont() const
    {
        QFont font = this->font();
        font.setPixelSize(kGnomeTitlePixels);
        font.setBold(true);
        return font;
    }

    QToolButton* ButtonFor(TitleBarPlace place) const
    {
        const QString name = place == TitleBarPlace::Minimise ? QStringLiteral("minimise") : QStringLiteral("close");
        for (QToolButton* button : m_buttons)
            if (button->objectName() == name)
                return button;
        return nullptr;
    }

    // The buttons of the desktop's layout that this window offers, in the
    // layout's order.
    void Rebuild()
    {
        for (QToolButton* button : m_buttons)
            delete button;
        m_buttons.clear();
        m_layout = DesktopTitleBarSettings().buttonLayout;
        const ButtonLayout layout = ParseButtonLayout(m_layout);
        auto offered = [this](const PlacedItem& item) {
            switch (item.place) {
            case TitleBarPlace::Icon: return m_ownWindow;
            case TitleBarPlace::Minimise: return m_offersMinimise;
            case TitleBarPlace::Close: return m_offersClose;
            }
            return false;
        };
        m_shown = {};
        for (const auto& [from, to] : {std::pair{&layout.left, &m_shown.left}, std::pair{&layout.right, &m_shown.right}})
            for (const PlacedItem& item : *from) {
                if (!offered(item))
                    continue;
                to->push_back(item);
                if (item.place == TitleBarPlace::Minimise)
                    AddMinimise(new GnomeCaptionButton(GnomeCaptionButton::Glyph::Minimise, this));
                else if (item.place == TitleBarPlace::Close)
                    AddClose(new GnomeCaptionButton(GnomeCaptionButton::Glyph::Close, this));
            }
        PlaceButtons();
        update();
    }

    bool m_ownWindow = false;
    QString m_layout;
    ButtonLayout m_shown;
    QRect m_icon, m_title;
};

} // namespace

bool DrawsOwnCaption()
{
    if (g_ownCaptionForced)
        return true;
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland")) && !CompositorDrawsTitleBars();
}

void SetDrawsOwnCaption(bool own) { g_ownCaptionForced = own; }

int AddOwnCaption(QWidget* window)
{
    // The bar takes its buttons from the window's hints; a frameless window
    // keeps none (Qt drops the frameless flag next to a system menu hint).
    QWidget* bar = DesktopTitleBarSettings().gnome ? static_cast<QWidget*>(new GnomeCaptionBar(window))
                                                   : new CaptionBar(window);
    window->setWindowFlags((window->windowFlags() & Qt::WindowType_Mask) | Qt::FramelessWindowHint);
    return bar->height();
}

int CaptionHeight(const QWidget* window)
{
    const auto* caption = window->findChild<const QWidget*>(QStringLiteral("caption"), Qt::FindDirectChildrenOnly);
    return caption ? caption->height() : 0;
}

QStringList CaptionButtons(const QWidget* window)
{
    QStringList names;
    if (auto* caption = window->findChild<const QWidget*>(QStringLiteral("caption"), Qt::FindDirectChildrenOnly))
        for (const QToolButton* button : caption->findChildren<QToolButton*>())
            names << button->objectName();
    return names;
}

} // namespace platform
