// The controls of a dialog, built from its template: each kind of control
// as a Qt widget, placed by the dialog-unit rule, named for screen readers,
// its command handed on by identifier. It knows the template and the widget
// it builds into, nothing of the dialog object, its window or its data
// exchange.

#include "platform/internal/Controls.h"
#include "platform/DialogUnits.h"
#include "platform/internal/AccessibleNames.h"
#include "platform/internal/Buttons.h"
#include "platform/internal/DataExchange.h"

#include <QApplication>
#include <QButtonGroup>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QRadioButton>
#include <algorithm>

namespace platform {

namespace {

// The icon control: the application icon's 32 x 32 art with each of its
// pixels a block of exactly the window's device pixel ratio, never the art
// drawn for another size and never a smoothed enlargement. The ratio is
// read as the control is painted, so a window moved to a screen of another
// scale shows the art for that one.
class IconControl : public QLabel {
public:
    explicit IconControl(QWidget* parent) : QLabel(parent)
    {
        setAlignment(Qt::AlignLeft | Qt::AlignTop);
        setPixmap(Art());
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.drawPixmap(0, 0, Art());
    }

private:
    const QPixmap& Art()
    {
        const int scale = std::max(1, qRound(devicePixelRatioF()));
        if (m_art.isNull() || m_scale != scale) {
            const QImage art = QApplication::windowIcon().pixmap(QSize(32, 32), 1.0).toImage();
            m_art = QPixmap::fromImage(art.scaled(art.size() * scale, Qt::IgnoreAspectRatio, Qt::FastTransformation));
            m_art.setDevicePixelRatio(scale);
            m_scale = scale;
        }
        return m_art;
    }

    QPixmap m_art;
    int m_scale = 0;
};

} // namespace

std::map<int, QWidget*> BuildControls(const DialogTemplate& dialog, QWidget* client, QObject* keyFilter,
                                      const std::function<void(int)>& onCommand)
{
    std::map<int, QWidget*> controls;
    QButtonGroup* radioGroup = nullptr;
    for (const ControlTemplate& c : dialog.controls) {
        const QString text = QString::fromUtf8(c.text ? c.text : "");
        QWidget* widget = nullptr;
        switch (c.kind) {
        case ControlKind::PushButton:
        case ControlKind::DefPushButton: {
            auto* button = new DialogButton(text, client, c.kind == ControlKind::DefPushButton);
            QObject::connect(button, &QPushButton::clicked, button, [onCommand, id = c.id] { onCommand(id); });
            widget = button;
            break;
        }
        case ControlKind::AutoRadio: {
            auto* radio = new QRadioButton(text, client);
            // The button group below makes the set exclusive and decides
            // every rule of it (none checked at first, every click reaches
            // the handler); automatic exclusivity does nothing to buttons in
            // a group, but only with it does Qt report them to screen
            // readers as radio buttons rather than check boxes.
            radio->setAutoExclusive(true);
            if (!radioGroup || (c.style & CS_GROUP)) {
                radioGroup = new QButtonGroup(client);
                radioGroup->setExclusive(true);
            }
            radioGroup->addButton(radio);
            QObject::connect(radio, &QRadioButton::clicked, radio, [onCommand, id = c.id] { onCommand(id); });
            widget = radio;
            break;
        }
        case ControlKind::Static: {
            auto* label = new QLabel(text, client);
            label->setWordWrap(true);
            label->setTextFormat(Qt::PlainText);
            Qt::Alignment align = Qt::AlignLeft;
            if (c.style & CS_CENTER) align = Qt::AlignHCenter;
            if (c.style & CS_RIGHT) align = Qt::AlignRight;
            label->setAlignment(align | Qt::AlignTop);
            widget = label;
            break;
        }
        case ControlKind::Edit: {
            auto* edit = new QLineEdit(client);
            edit->setFrame(c.style & CS_BORDER);
            AcceptLatin1Only(edit);
            if (c.style & CS_RIGHT)
                edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            widget = edit;
            break;
        }
        case ControlKind::GroupBox:
            widget = new QGroupBox(text, client);
            widget->setAttribute(Qt::WA_TransparentForMouseEvents);
            break;
        case ControlKind::Icon:
            widget = new IconControl(client);
            break;
        case ControlKind::BlackRect: {
            auto* frame = new QFrame(client);
            frame->setAutoFillBackground(true);
            QPalette palette = frame->palette();
            palette.setColor(QPalette::Window, Qt::black);
            frame->setPalette(palette);
            widget = frame;
            break;
        }
        }
        widget->setGeometry(DluRectToPx(c.x, c.y, c.cx, c.cy));
        const bool focusable = c.kind == ControlKind::PushButton || c.kind == ControlKind::DefPushButton
            || c.kind == ControlKind::AutoRadio || c.kind == ControlKind::Edit;
        if (focusable) {
            widget->setFocusPolicy((c.style & CS_TABSTOP) ? Qt::StrongFocus : Qt::ClickFocus);
            if (keyFilter)
                widget->installEventFilter(keyFilter);
        }
        const QString name = AccessibleNameOf(dialog, c);
        if (!name.isEmpty())
            widget->setAccessibleName(name);
        if (c.id != IDC_STATIC)
            controls[c.id] = widget;
    }
    return controls;
}

} // namespace platform
