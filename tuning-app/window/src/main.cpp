// The tuning program: shows the skinned main window.
#include <QApplication>

#include "window/main_window.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    dravik::MainWindow window;
    window.Load();
    window.Form_Resize();
    window.ApplySkin();
    window.Show();
    window.Refresh();
    return QApplication::exec();
}
