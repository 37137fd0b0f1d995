#include "settings/frmEstablish.h"

QWidget *frmEstablish::createWindow()
{
    auto *window = new QWidget;
    window->setWindowTitle(QStringLiteral("詳細設定"));
    return window;
}

void frmEstablish::Form_Load() {}

int frmEstablish::chkFolder1() { Load(); return 0; }
QString frmEstablish::txtFolderPath1() { Load(); return m_txtFolderPath1; }
int frmEstablish::chkFolder2() { Load(); return 0; }
QString frmEstablish::txtFolderPath2() { Load(); return m_txtFolderPath2; }
int frmEstablish::chkUwa() { Load(); return 1; }
int frmEstablish::chkMsg1() { Load(); return 0; }
int frmEstablish::chkMsg2() { Load(); return 1; }
int frmEstablish::chkEnd() { Load(); return 1; }
int frmEstablish::chkTime() { Load(); return 0; }
QString frmEstablish::txtBackup1() { Load(); return QString(); }
QString frmEstablish::txtBackup2() { Load(); return QString(); }
QString frmEstablish::txtBackup3() { Load(); return QString(); }
void frmEstablish::setChkUwa(int) { Load(); }
void frmEstablish::setTxtFolderPath1(const QString &text) { Load(); m_txtFolderPath1 = text; }
void frmEstablish::setTxtFolderPath2(const QString &text) { Load(); m_txtFolderPath2 = text; }
QString frmEstablish::txtRireki() { Load(); return QString(); }
void frmEstablish::setTxtRireki(const QString &) { Load(); }
