// The reference for the launch measurement: a bare Qt 6 dialog with a menu
// bar, of the main window's size, and nothing else; what any Qt Widgets
// program with a menu pays to put its first window up.
//
// Usage: coilrunner_bare_dialog

#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QMenuBar>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("Bare dialog"));
    auto* bar = new QMenuBar(&dialog);
    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    file->addAction(QStringLiteral("E&xit"), &dialog, &QDialog::reject);
    bar->addMenu(QStringLiteral("&Help"))->addAction(QStringLiteral("&About"));
    bar->adjustSize();
    dialog.setFixedSize(258, 364);
    dialog.exec();
    return 0;
}
