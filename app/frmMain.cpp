#include "app/frmMain.h"

#include "platform/AppInfo.h"

QWidget *frmMain::createWindow()
{
    auto *window = new QWidget;
    window->setWindowTitle(AppInfo::MainTitle);
    return window;
}

void frmMain::Form_Load() {}

QString frmMain::Dir1Path() { Load(); return QString(); }
QString frmMain::Dir2Path() { Load(); return QString(); }
QString frmMain::txtBackupText() { Load(); return QString(); }
int frmMain::selectedPage() { Load(); return 0; }
