// The tuning program: the disclaimer first; the main window builds itself once it is
// accepted.
#include <QApplication>

#include "window/main_window.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // The program ends only through its own End (closing the disclaimer or the main window).
    QApplication::setQuitOnLastWindowClosed(false);
    dravik::MainWindow window;
    window.Load();
    return QApplication::exec();
}
