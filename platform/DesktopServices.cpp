#include "platform/DesktopServices.h"

#include "core/AppInfo.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QLayout>
#include <QScreen>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QProcess>
#include <QUrl>

#include <algorithm>

// What the user was told, off by default: with
// QT_LOGGING_RULES="tandemix.messagebox.info=true" every box is written to
// standard error, for support and the end-to-end tests.
Q_LOGGING_CATEGORY(lcMessageBox, "tandemix.messagebox", QtWarningMsg)

namespace {

// The toolkit wraps a text a little wider than its usual box width there,
// leaving a word or two alone on the last line. The box is made as wide
// as the text up to that width, and beyond it the lines are evened out.
// The toolkit wraps only a box that would be wider than that: evened lines
// narrower would never wrap and cut the text off, so there the toolkit's
// own wrapping stays.
void evenLines(QMessageBox &box, const QString &text)
{
    auto *label = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
    if (!label)
        return;
    const QFontMetrics metrics(label->font());
    int widest = 0;
    for (const QString &line : text.split(QLatin1Char('\n')))
        widest = std::max(widest, metrics.horizontalAdvance(line.trimmed()));
    // The toolkit's own limit before it wraps: half the screen, at most 500.
    const int usual = std::min(box.screen()->availableGeometry().width() / 2, 500);
    const int lines = (widest + usual - 1) / usual;
    if (lines == 0)
        return;
    label->setMinimumWidth((widest + lines - 1) / lines + metrics.averageCharWidth());
    if (box.layout() && box.layout()->totalMinimumSize().width() <= usual)
        label->setMinimumWidth(0);
}

} // namespace

MsgAnswer QtMessageBoxes::MsgBox(const QString &text, MsgButtons buttons, MsgIcon icon,
                                 const QString &title, const QString &details)
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
    box.setDetailedText(details);
    evenLines(box, text);
    qCInfo(lcMessageBox).noquote() << box.windowTitle() + QLatin1Char(':')
                                   << (details.isEmpty() ? text : text + QLatin1Char('\n') + details);
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
