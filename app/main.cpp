#include "platform/AppInfo.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(AppInfo::MainTitle);
    window.show();
    return app.exec();
}
