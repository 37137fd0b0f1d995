#include "platform/DesktopServices.h"

#include "core/AppInfo.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QProcess>
#include <QUrl>

// What the user was told, off by default: with
// QT_LOGGING_RULES="tandemix.messagebox.info=true" every box is written to
// standard error, for support and the end-to-end tests.
Q_LOGGING_CATEGORY(lcMessageBox, "tandemix.messagebox", QtWarningMsg)

MsgAnswer QtMessageBoxes::MsgBox(const QString &text, MsgButtons buttons, MsgIcon icon,
                                 const QString &title)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(title.isEmpty() ? AppInfo::Title : title);
    box.setText(text);
    switch (icon) {
    case MsgIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case MsgIcon::Question: box.setIcon(QMessageBox::Question); break;
    case MsgIcon::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case MsgIcon::Critical: box.setIcon(QMessageBox::Critical); break;
    }
    switch (buttons) {
    case MsgButtons::OK:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MsgButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        box.button(QMessageBox::Yes)->setText(QStringLiteral("はい(&Y)"));
        box.button(QMessageBox::No)->setText(QStringLiteral("いいえ(&N)"));
        break;
    case MsgButtons::RetryCancel:
        box.setStandardButtons(QMessageBox::Retry | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Retry);
        box.setEscapeButton(QMessageBox::Cancel);
        box.button(QMessageBox::Retry)->setText(QStringLiteral("再試行(&R)"));
        box.button(QMessageBox::Cancel)->setText(QStringLiteral("キャンセル"));
        break;
    }
    if (buttons == MsgButtons::OK)
        box.button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
    qCInfo(lcMessageBox).noquote() << box.windowTitle() + QLatin1Char(':') << text;
    switch (box.exec()) {
    case QMessageBox::Yes: return MsgAnswer::Yes;
    case QMessageBox::No: return MsgAnswer::No;
    case QMessageBox::Retry: return MsgAnswer::Retry;
    case QMessageBox::Cancel: return MsgAnswer::Cancel;
    default: break;
    }
    // A box closed by its frame answers with its escape button.
    switch (buttons) {
    case MsgButtons::YesNo: return MsgAnswer::No;
    case MsgButtons::RetryCancel: return MsgAnswer::Cancel;
    case MsgButtons::OK: break;
    }
    return MsgAnswer::OK;
}

void QtBusyPointer::setBusy(bool busy)
{
    if (busy == m_busy)
        return;
    m_busy = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void QtClipboard::setText(const QString &text)
{
    QGuiApplication::clipboard()->setText(text);
}

bool DesktopProgramStarter::startFileExplorer()
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QDir::homePath()));
}

bool DesktopProgramStarter::startProgram(const QString &path)
{
    return QProcess::startDetached(path, {});
}
