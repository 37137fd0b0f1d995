#include "widgets/FormWindow.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QScreen>

FormWindow::FormWindow()
{
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
