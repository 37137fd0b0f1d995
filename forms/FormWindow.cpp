#include "forms/FormWindow.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QScreen>

namespace {
Qt::WindowFlags flagsOf(FormWindow::Frame frame)
{
    constexpr Qt::WindowFlags titled = Qt::CustomizeWindowHint | Qt::WindowTitleHint
                                       | Qt::WindowCloseButtonHint;
    switch (frame) {
    case FormWindow::Frame::Main:
        return Qt::Window | titled | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint;
    case FormWindow::Frame::FixedDialog:
        return Qt::Dialog | titled | Qt::WindowSystemMenuHint | Qt::MSWindowsFixedSizeDialogHint;
    case FormWindow::Frame::Tool:
        return Qt::Tool | titled;
    case FormWindow::Frame::Dialog:
        break;
    }
    return Qt::Dialog;
}
} // namespace

FormWindow::FormWindow(const QString &objectName, const QString &title, Frame frame)
{
    setObjectName(objectName);
    setWindowTitle(title);
    if (frame != Frame::Dialog)
        setWindowFlags(flagsOf(frame));
    QFont layoutFont = font();
    layoutFont.setPixelSize(LayoutFontPixels);
    setFont(layoutFont);
    setWindowIcon(programIcon());
}

void FormWindow::setFixedClientSize(QSize size)
{
    setFixedSize(size);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void FormWindow::reject()
{
    if (m_cancel)
        m_cancel->click();
}

QIcon programIcon()
{
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/tandemix.png"));
    for (int size : {48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/tandemix-%1.png").arg(size));
    return icon;
}
