#include "app/AppContext.h"
#include "app/LinuxPlatform.h"
#include "app/SingleInstance.h"
#include "app/frmMain.h"
#include "core/PosixIo.h"
#include "forms/FormWindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    raiseDescriptorLimit();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tandemix"));
    QApplication::setDesktopFileName(QStringLiteral("tandemix"));
    QApplication::setWindowIcon(programIcon());
    // The program ends when its last window is unloaded, which the
    // application context decides; a hidden settings dialog is no window.
    QApplication::setQuitOnLastWindowClosed(false);

    LinuxPlatform platform;
    SingleInstance instance(platform.platform().dataDirectory.path());
    if (!instance.claim())
        return 0;
    AppContext context(platform.platform());
    context.start();
    return QApplication::exec();
}
