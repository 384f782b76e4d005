// Data exchange: values copied between a dialog's members and its controls,
// one direction per pass, with the checks that fail a pass (a number that is
// none, a text too long); and the 8-bit text the edit boxes hold, which a
// filter keeps to Latin-1. It knows the controls by their identifiers only,
// through the dialog's GetDlgItem, and the dialog's window as the owner of
// its message box; nothing of templates, or of how the controls were built.

#include "platform/Dialog.h"
#include "platform/internal/DataExchange.h"
#include "platform/Modal.h"

#include <QAbstractButton>
#include <QByteArray>
#include <QLabel>
#include <QLineEdit>
#include <QValidator>
#include <climits>

namespace platform {

namespace {

// The filter AcceptLatin1Only gives an edit box.
class Latin1Validator : public QValidator {
public:
    using QValidator::QValidator;
    // Drops what an 8-bit name cannot hold or should not: characters beyond
    // Latin-1, and control characters (C0, DEL, C1), which typing never
    // gives but a paste may. The rest of a paste is kept.
    State validate(QString& input, int& cursor) const override
    {
        QString kept;
        kept.reserve(input.size());
        int keptBeforeCursor = 0;
        for (qsizetype k = 0; k < input.size(); ++k) {
            const char16_t c = input[k].unicode();
            if (c < 0x20 || (c >= 0x7F && c < 0xA0) || c > 0xFF)
                continue;
            kept += input[k];
            if (k < cursor)
                ++keptBeforeCursor;
        }
        if (kept.size() != input.size()) {
            input = kept;
            cursor = keptBeforeCursor;
        }
        return Acceptable;
    }
};

// The control a step of the exchange works on; none once a step has failed.
QWidget* ControlOf(const DataExchange& dx, int id)
{
    return dx.m_bFailed ? nullptr : dx.m_dialog.GetDlgItem(id);
}

// Names the control of an exchange step: a validation that follows checks
// this one.
QWidget* PrepareControl(DataExchange& dx, int id)
{
    dx.m_nLastControl = id;
    return ControlOf(dx, id);
}

void SetTextOf(QWidget* control, const QString& text)
{
    if (GetWindowText(control) == text)
        return;
    if (auto* edit = qobject_cast<QLineEdit*>(control))
        edit->setText(text);
    else if (auto* label = qobject_cast<QLabel*>(control))
        label->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(control))
        button->setText(text);
}

void Fail(DataExchange& dx, QWidget* control, const QString& message)
{
    MessageBox(dx.m_dialog.Window(), message, MB_ICONEXCLAMATION);
    control->setFocus();
    if (auto* edit = qobject_cast<QLineEdit*>(control))
        edit->selectAll();
    dx.m_bFailed = true;
}

} // namespace

void AcceptLatin1Only(QLineEdit* edit)
{
    edit->setValidator(new Latin1Validator(edit));
}

QString GetWindowText(const QWidget* control)
{
    if (auto* edit = qobject_cast<const QLineEdit*>(control))
        return edit->text();
    if (auto* label = qobject_cast<const QLabel*>(control))
        return label->text();
    if (auto* button = qobject_cast<const QAbstractButton*>(control))
        return button->text();
    return {};
}

void DDX_Text(DataExchange& dx, int id, int& value)
{
    QWidget* control = PrepareControl(dx, id);
    if (!control)
        return;
    if (!dx.m_bSaveAndValidate) {
        SetTextOf(control, QString::number(value));
        return;
    }
    bool ok = false;
    const qlonglong parsed = GetWindowText(control).trimmed().toLongLong(&ok);
    if (!ok || parsed < INT_MIN || parsed > INT_MAX) {
        Fail(dx, control, QStringLiteral("Please enter an integer."));
        return;
    }
    value = static_cast<int>(parsed);
}

void DDX_Text(DataExchange& dx, int id, std::string& value)
{
    QWidget* control = PrepareControl(dx, id);
    if (!control)
        return;
    if (!dx.m_bSaveAndValidate) {
        SetTextOf(control, QString::fromLatin1(value.data(), static_cast<qsizetype>(value.size())));
        return;
    }
    const QByteArray bytes = GetWindowText(control).toLatin1();
    value.assign(bytes.constData(), static_cast<size_t>(bytes.size()));
}

void DDV_MaxChars(DataExchange& dx, const std::string& value, int count)
{
    QWidget* control = ControlOf(dx, dx.m_nLastControl);
    if (!control)
        return;
    if (!dx.m_bSaveAndValidate) {
        if (auto* edit = qobject_cast<QLineEdit*>(control))
            edit->setMaxLength(count);
        return;
    }
    if (static_cast<int>(value.size()) > count)
        Fail(dx, control, QStringLiteral("Enter no more than %1 characters.").arg(count));
}

} // namespace platform
