// dorvak-reiserfs: the application window. Disk image files given as
// arguments are listed after the machine's disks.
#include "shell/main_window.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("dorvak-reiserfs"));
    QStringList images = QApplication::arguments().mid(1);
    dorvak::MainWindow window(images);
    window.show();
    return app.exec();
}
