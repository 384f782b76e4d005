// The caption bar the program draws, and whether it draws one. Where the
// toolkit draws the caption bars itself (Qt 6.4 on a Wayland compositor that
// leaves them to the program), it offers maximise on every window, fixed-size
// ones too. There the windows are frameless and carry this bar instead: the
// icon, the title, minimise where the window offers it and close where it has
// a system menu. Dragging it moves the window; a right click goes on to the
// window beneath, which opens its window menu, as anywhere else on it.
//
// The bar works from the window it lies on alone (its flags, title, icon,
// palette and activation): it knows nothing of templates or dialogs.

#include "platform/internal/CaptionBar.h"
#include "platform/internal/Contrast.h"
#include "platform/internal/Decorations.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QToolButton>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <functional>
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

class CaptionBar : public QWidget {
public:
    explicit CaptionBar(QWidget* window) : QWidget(window)
    {
        setObjectName(QStringLiteral("caption"));
        setAccessibleName(window->windowTitle());
        const Qt::WindowFlags flags = window->windowFlags();
        if (flags & Qt::WindowMinimizeButtonHint)
            AddButton(CaptionButton::Glyph::Minimise, QStringLiteral("minimise"), QStringLiteral("Minimise"),
                      [window] { window->showMinimized(); });
        if (flags & Qt::WindowCloseButtonHint)
            AddButton(CaptionButton::Glyph::Close, QStringLiteral("close"), QStringLiteral("Close"),
                      [window] { window->close(); });
        window->installEventFilter(this);
        setGeometry(0, 0, window->width(), kCaptionHeight);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::Resize:
            setGeometry(0, 0, window()->width(), kCaptionHeight);
            PlaceButtons();
            break;
        case QEvent::WindowTitleChange:
            setAccessibleName(window()->windowTitle());
            update();
            break;
        case QEvent::ActivationChange:
        case QEvent::PaletteChange:
            // The buttons' colours follow the bar's.
            for (QToolButton* button : m_buttons)
                button->update();
            update();
            break;
        case QEvent::WindowIconChange:
            update();
            break;
        default:
            break;
        }
        return QWidget::eventFilter(watched, event);
    }

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

    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton && window()->windowHandle())
            window()->windowHandle()->startSystemMove();
        else
            QWidget::mousePressEvent(event);
    }

private:
    void AddButton(CaptionButton::Glyph glyph, const QString& name, const QString& text,
                   const std::function<void()>& action)
    {
        auto* button = new CaptionButton(glyph, this);
        button->setObjectName(name);
        button->setAccessibleName(text);
        button->setToolTip(text);
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        QObject::connect(button, &QToolButton::clicked, this, action);
        m_buttons.push_back(button);
        PlaceButtons();
    }

    // The buttons sit at the right edge, close rightmost.
    void PlaceButtons()
    {
        const int size = kCaptionHeight - 4;
        int x = width() - 2;
        for (auto it = m_buttons.rbegin(); it != m_buttons.rend(); ++it) {
            x -= size;
            (*it)->setGeometry(x, 2, size, size);
        }
    }

    int TextRight() const { return width() - 4 - static_cast<int>(m_buttons.size()) * (kCaptionHeight - 4); }

    std::vector<QToolButton*> m_buttons;
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
    new CaptionBar(window);
    window->setWindowFlags((window->windowFlags() & Qt::WindowType_Mask) | Qt::FramelessWindowHint);
    return kCaptionHeight;
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
