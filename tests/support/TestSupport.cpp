#include "support/TestSupport.h"

#include "platform/internal/DataExchange.h"
#include "res/resource.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <cstdio>

namespace testing_support {

ScriptedModal::ScriptedModal() : m_previous(platform::SetModalHook(this)) {}
ScriptedModal::~ScriptedModal() { platform::SetModalHook(m_previous); }

int ScriptedModal::RunDialog(platform::Dialog& dialog)
{
    dialogs.push_back(dialog.Template().id);
    if (onDialog)
        return onDialog(dialog);
    dialog.SendCommand(platform::IDCANCEL);
    return dialog.Result();
}

int ScriptedModal::MessageBox(QWidget*, const QString& text, unsigned type)
{
    messages.push_back(text);
    types.push_back(type);
    if (onMessage)
        onMessage(text);
    return platform::IDOK;
}

RecordingSound::RecordingSound() : m_previous(platform::SetSoundPlayer(this)) {}
RecordingSound::~RecordingSound() { platform::SetSoundPlayer(m_previous); }

std::string FileBytes(const std::string& path)
{
    std::string bytes;
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
            bytes.append(buffer, n);
        std::fclose(file);
    }
    return bytes;
}

ScratchFolder::ScratchFolder() : m_previous(QDir::currentPath())
{
    QDir::setCurrent(m_dir.path());
}

ScratchFolder::~ScratchFolder()
{
    QDir::setCurrent(m_previous);
}

std::string ScratchFolder::Read(const char* name) const
{
    QFile file(m_dir.filePath(QString::fromLatin1(name)));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

void ScratchFolder::Write(const std::string& bytes, const char* name) const
{
    QFile file(m_dir.filePath(QString::fromLatin1(name)));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

bool ScratchFolder::Exists(const char* name) const
{
    return QFile::exists(m_dir.filePath(QString::fromLatin1(name)));
}

void TypeInto(platform::Dialog& dialog, int id, const QString& text)
{
    auto* edit = qobject_cast<QLineEdit*>(dialog.GetDlgItem(id));
    if (!edit)
        return;
    edit->clear();
    edit->insert(text);
}

QString TextOf(platform::Dialog& dialog, int id)
{
    return platform::GetWindowText(dialog.GetDlgItem(id));
}

std::function<int(platform::Dialog&)> EnterName(const QString& name)
{
    return [name](platform::Dialog& dialog) {
        if (dialog.Template().id == IDD_NEWHIGHSCORE) {
            TypeInto(dialog, IDC_PLAYER_NAME, name);
            dialog.SendCommand(platform::IDOK);
        } else {
            dialog.SendCommand(platform::IDCANCEL);
        }
        return dialog.Result();
    };
}

} // namespace testing_support
