// onexrev: the desktop application. Opens the main window and runs until the
// user exits.

#include <QApplication>
#include <QMainWindow>

#include "MexIO/HwIO.h"
#include "UI/Application.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("onexrev");
    // The program ends when the main window goes (File/Exit or its close
    // box, both of which save the configuration first), not when the last
    // visible window closes: the splash closes before the main window shows.
    QApplication::setQuitOnLastWindowClosed(false);
    onex::ui::initializeUi();
    QMainWindow* main = onex::ui::OneX_Rev_b();
    QObject::connect(main, &QObject::destroyed, &app, &QApplication::quit, Qt::QueuedConnection);
    const int status = app.exec();
    // The instrument connections the driver kept open for the session.
    onex::hwIOCloseAll();
    return status;
}
