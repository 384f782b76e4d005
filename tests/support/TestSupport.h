#pragma once
// Seams for the tests: modal boxes answered at once, sounds and web
// addresses recorded, and a scratch working folder for "HiScores.ini".

#include "platform/Dialog.h"
#include "platform/Modal.h"
#include "platform/Sound.h"

#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <string>
#include <vector>

namespace testing_support {

// Answers every message box with OK and every dialog through `onDialog`
// (by default: Cancel, as the Escape key would). Records what was shown.
class ScriptedModal : public platform::ModalHook {
public:
    ScriptedModal();
    ~ScriptedModal() override;

    int RunDialog(platform::Dialog& dialog) override;
    int MessageBox(QWidget* owner, const QString& text, unsigned type) override;

    std::function<int(platform::Dialog&)> onDialog;
    std::function<void(const QString&)> onMessage;
    std::vector<QString> messages;
    std::vector<unsigned> types;  // of each message box
    std::vector<int> dialogs;     // template identifiers, in the order shown

private:
    platform::ModalHook* m_previous;
};

// Records the alert sounds instead of playing them.
class RecordingSound : public platform::SoundPlayer {
public:
    RecordingSound();
    ~RecordingSound() override;
    void MessageBeep(unsigned type) override { beeps.push_back(type); }
    std::vector<unsigned> beeps;

private:
    platform::SoundPlayer* m_previous;
};

// Runs the test in a fresh empty folder, the current directory of the game.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    QString Path() const { return m_dir.path(); }
    std::string Read(const char* name = "HiScores.ini") const;
    void Write(const std::string& bytes, const char* name = "HiScores.ini") const;
    bool Exists(const char* name = "HiScores.ini") const;

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

// The bytes of the file at `path`, or "" when it cannot be read.
std::string FileBytes(const std::string& path);

// Types text into an edit box of an open dialog.
void TypeInto(platform::Dialog& dialog, int id, const QString& text);
QString TextOf(platform::Dialog& dialog, int id);

// Answers the name entry by typing `name` and pressing OK, and any other
// dialog with Cancel.
std::function<int(platform::Dialog&)> EnterName(const QString& name);

} // namespace testing_support
