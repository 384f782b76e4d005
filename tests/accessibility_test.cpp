// What a screen reader finds: every control, menu item and dialog control
// carries a name, the settings' choices are radio buttons, and the score is
// read out by the score box and by the play area, which has the focus during
// a game. (tests/e2e/accessibility_test.sh checks the same over AT-SPI.)

#include "app/AboutDlg.h"
#include "app/GameDlg.h"
#include "highscores/HighScoreDlg.h"
#include "highscores/NewHighScoreDlg.h"
#include "platform/PixelSurface.h"
#include "res/resource.h"
#include "settings/SettingsDlg.h"
#include "support/MainWindowFixture.h"
#include "support/TestSupport.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QMenu>
#include <QMenuBar>
#include <QStringList>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

using testing_support::ScratchFolder;
using testing_support::ScriptedModal;

QAccessibleInterface* Accessible(QObject* object)
{
    return QAccessible::queryAccessibleInterface(object);
}

QString NameOf(QWidget* widget)
{
    QAccessibleInterface* iface = Accessible(widget);
    return iface ? iface->text(QAccessible::Name) : QString();
}

// The template's controls of an open dialog with no child window: the
// widgets on its client area but the pixel overlay laid over them.
std::vector<QWidget*> ControlsOf(platform::Dialog& dialog)
{
    std::vector<QWidget*> controls;
    for (QWidget* w : dialog.Client()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (!dynamic_cast<platform::PixelOverlay*>(w))
            controls.push_back(w);
    return controls;
}

void ExpectEveryControlNamed(platform::Dialog& dialog)
{
    const std::vector<QWidget*> controls = ControlsOf(dialog);
    EXPECT_EQ(controls.size(), dialog.Template().controls.size());
    for (QWidget* control : controls)
        EXPECT_FALSE(NameOf(control).trimmed().isEmpty())
            << "unnamed " << control->metaObject()->className() << " at (" << control->x() << ", "
            << control->y() << ") in \"" << dialog.Template().caption << "\"";
}

// The names of a menu's items as the accessibility tree shows them;
// separators are left out.
QStringList MenuNames(QWidget* menu)
{
    QStringList names;
    QAccessibleInterface* iface = Accessible(menu);
    for (int i = 0; iface && i < iface->childCount(); ++i) {
        QAccessibleInterface* item = iface->child(i);
        if (item->role() != QAccessible::Separator)
            names << item->text(QAccessible::Name);
    }
    return names;
}

struct MainWindow {
    ScratchFolder folder;
    ScriptedModal modal;
    CGameDlg dlg;
    MainWindow()
    {
        platform::SetMainDialog(&dlg);
        dlg.Create();
    }
    ~MainWindow()
    {
        dlg.m_playArea.DestroyWindow();
        dlg.DestroyWindow();
        platform::SetMainDialog(nullptr);
    }
};

} // namespace

TEST(Accessibility, MainWindowControlsAreNamed)
{
    MainWindow main;
    ASSERT_NE(main.dlg.Window(), nullptr);
    ExpectEveryControlNamed(main.dlg);

    const struct { int id; const char* name; QAccessible::Role role; } cases[] = {
        {IDC_START, "Start!", QAccessible::Button},
        {IDC_UP, "Up", QAccessible::Button},
        {IDC_DOWN, "Down", QAccessible::Button},
        {IDC_LEFT, "Left", QAccessible::Button},
        {IDC_RIGHT, "Right", QAccessible::Button},
        // The edit box has no text of its own: it is called by its label.
        {IDC_SCORE, "Score", QAccessible::EditableText},
    };
    for (const auto& c : cases) {
        QAccessibleInterface* iface = Accessible(main.dlg.GetDlgItem(c.id));
        ASSERT_NE(iface, nullptr) << c.name;
        EXPECT_EQ(iface->text(QAccessible::Name), QString::fromUtf8(c.name));
        EXPECT_EQ(iface->role(), c.role) << c.name;
    }
    EXPECT_EQ(NameOf(main.dlg.Window()), "Quillware Coilrunner");

    // The play area, which takes the keys during a game, is named too.
    main.dlg.OnStart();
    ASSERT_NE(main.dlg.m_playArea.Window(), nullptr);
    EXPECT_EQ(NameOf(main.dlg.m_playArea.Window()), "Quillware Coilrunner");
}

TEST(Accessibility, ScoreBoxReadsOutTheScore)
{
    MainWindow main;
    QAccessibleInterface* score = Accessible(main.dlg.GetDlgItem(IDC_SCORE));
    ASSERT_NE(score, nullptr);
    EXPECT_EQ(score->text(QAccessible::Value), "0");

    // The tick shows the score after every step: here a score of 120. (The
    // edit box announces the change itself while an assistive technology
    // listens; the offscreen platform has none, so only the value is checked.)
    main.dlg.OnStart();
    main.dlg.m_nScore = 120;
    main.dlg.OnTimer(1);

    EXPECT_EQ(score->text(QAccessible::Value), "120");
    ASSERT_NE(score->textInterface(), nullptr);
    EXPECT_EQ(score->textInterface()->text(0, score->textInterface()->characterCount()), "120");
    EXPECT_EQ(score->text(QAccessible::Name), "Score");
}

TEST(Accessibility, MenuItemsAreNamed)
{
    MainWindow main;
    QMenuBar* bar = main.dlg.MenuBar();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(MenuNames(bar), (QStringList{"File", "Help"}));

    const QList<QAction*> popups = bar->actions();
    ASSERT_EQ(popups.size(), 2);
    EXPECT_EQ(MenuNames(popups[0]->menu()),
              (QStringList{"Start game", "HighScores", "Settings", "Play sound", "Exit"}));
    EXPECT_EQ(MenuNames(popups[1]->menu()), (QStringList{"Go to Quillware website", "About"}));

    // The sound switch reports its check mark.
    QAccessibleInterface* file = Accessible(popups[0]->menu());
    bool foundSound = false;
    for (int i = 0; i < file->childCount(); ++i)
        if (file->child(i)->text(QAccessible::Name) == "Play sound") {
            foundSound = true;
            EXPECT_TRUE(file->child(i)->state().checkable);
            EXPECT_TRUE(file->child(i)->state().checked);
        }
    EXPECT_TRUE(foundSound);

    EXPECT_EQ(MenuNames(main.dlg.GetSystemMenu()),
              (QStringList{"Minimise", "Close", "Info about Coilrunner..."}));
}

TEST(Accessibility, DialogControlsAreNamed)
{
    ScratchFolder folder;
    ScriptedModal modal;

    CHighScoreDlg list;
    list.LoadHighScores();   // no file: the default table
    list.FillDisplay();

    CAboutDlg about;
    CNewHighScoreDlg entry;
    CSettingsDlg settings;
    settings.SetValues(250, 5, 10, 30);

    const struct {
        platform::Dialog* dialog;
        std::vector<std::pair<int, const char*>> names;   // control id, name
    } cases[] = {
        {&about, {{IDOK, "OK"}}},
        {&list, {{IDC_HS_OK, "OK"}, {IDC_HS_NAME1, "Quillware"}, {IDC_HS_SCORE1, "100"},
                 {IDC_HS_NAME10, "Quillware"}, {IDC_HS_SCORE10, "10"}}},
        // Labelled from above: the static text over the edit box.
        {&entry, {{IDC_PLAYER_NAME, "Please enter your name"}, {IDOK, "OK"}}},
        {&settings, {{IDOK, "OK"}, {IDCANCEL, "Cancel"}, {IDC_COLOR_ORANGE, "Orange"},
                     {IDC_COLOR_BLUE, "Blue"}, {IDC_COLOR_GREEN, "Green"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dialog->Template().caption);
        ASSERT_TRUE(c.dialog->Create());
        ExpectEveryControlNamed(*c.dialog);
        for (const auto& [id, name] : c.names)
            EXPECT_EQ(NameOf(c.dialog->GetDlgItem(id)), QString::fromUtf8(name)) << "control " << id;
        EXPECT_EQ(NameOf(c.dialog->Window()), QString::fromUtf8(c.dialog->Template().caption));
        c.dialog->DestroyWindow();
    }

    // The colour preview, a picture without a text, is called by the group
    // box around it; the icons by the application.
    ASSERT_TRUE(settings.Create());
    QStringList names;
    for (QWidget* control : ControlsOf(settings))
        names << NameOf(control);
    EXPECT_TRUE(names.contains("Snake color")) << names.join(", ").toStdString();
    settings.DestroyWindow();

    ASSERT_TRUE(about.Create());
    names.clear();
    for (QWidget* control : ControlsOf(about))
        names << NameOf(control);
    EXPECT_TRUE(names.contains("Quillware Coilrunner")) << names.join(", ").toStdString();
    about.DestroyWindow();
}

TEST(Accessibility, SettingsChoicesAreRadioButtonsWithTheirState)
{
    ScratchFolder folder;
    ScriptedModal modal;
    CSettingsDlg settings;
    settings.SetValues(250, 5, 10, 30);
    ASSERT_TRUE(settings.Create());

    const int colours[] = {IDC_COLOR_ORANGE, IDC_COLOR_BLUE, IDC_COLOR_GREEN};
    const int speeds[] = {IDC_SPEED_9X, IDC_SPEED_XP};
    const auto expectChecked = [&](std::initializer_list<int> checked) {
        for (int id : {IDC_COLOR_ORANGE, IDC_COLOR_BLUE, IDC_COLOR_GREEN, IDC_SPEED_9X, IDC_SPEED_XP}) {
            QAccessibleInterface* iface = Accessible(settings.GetDlgItem(id));
            ASSERT_NE(iface, nullptr) << id;
            EXPECT_EQ(iface->role(), QAccessible::RadioButton) << id;
            EXPECT_TRUE(iface->state().checkable) << id;
            EXPECT_EQ(bool(iface->state().checked), std::find(checked.begin(), checked.end(), id) != checked.end())
                << id;
        }
    };
    // None checked when the dialog opens; a click checks one of its set.
    expectChecked({});
    const auto click = [&](int id) { qobject_cast<QAbstractButton*>(settings.GetDlgItem(id))->click(); };
    click(colours[1]);
    expectChecked({IDC_COLOR_BLUE});
    click(speeds[0]);
    click(colours[2]);
    expectChecked({IDC_COLOR_GREEN, IDC_SPEED_9X});
    // A click on the checked one keeps it checked, and reaches its handler.
    settings.m_nColorR = 0;
    click(colours[2]);
    expectChecked({IDC_COLOR_GREEN, IDC_SPEED_9X});
    EXPECT_EQ(settings.GetColorR(), 50);
    settings.DestroyWindow();
}

TEST(Accessibility, ThePlayAreaCarriesTheScore)
{
    MainWindow main;
    main.dlg.OnStart();
    QWidget* playArea = main.dlg.m_playArea.Window();
    ASSERT_NE(playArea, nullptr);
    QAccessibleInterface* iface = Accessible(playArea);
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(iface->text(QAccessible::Description), "Score: 0");

    // What a screen reader hears is not what a sighted player sees: the
    // play area shows nothing of it (no text, no tool tip).
    EXPECT_TRUE(playArea->toolTip().isEmpty());
    EXPECT_TRUE(playArea->findChildren<QWidget*>().empty());

    // The score follows every change. (The change event for a listening
    // screen reader needs a real accessibility bus: the offscreen platform
    // has none, so the AT-SPI test checks that.)
    for (int tick = 0; tick < 3; ++tick)
        main.dlg.OnTimer(1);
    EXPECT_EQ(iface->text(QAccessible::Description), "Score: 0");
    testing_support::EatOnNextTick(main.dlg);
    EXPECT_EQ(iface->text(QAccessible::Description), "Score: 10");
}
