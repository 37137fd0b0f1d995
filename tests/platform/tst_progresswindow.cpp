// The desktop's dialogs. The copy's progress window: work off the
// user-interface thread, the window's contents, and that it cannot be
// closed and is gone at the end. The message box: its whole text on
// screen, the cause in its details, what it shows in the message-box log.
#include "core/AppInfo.h"
#include "platform/DesktopServices.h"
#include "platform/ProgressWindow.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSemaphore>
#include <QtTest>

using namespace std::chrono_literals;

namespace {
QDialog *visibleDialog()
{
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (auto *dialog = qobject_cast<QDialog *>(widget); dialog && dialog->isVisible())
            return dialog;
    return nullptr;
}

QString labelText(QDialog *dialog, const char *name)
{
    auto *label = dialog->findChild<QLabel *>(QLatin1String(name));
    return label ? label->text() : QString();
}

// A stage of a work the test steps through: the worker waits at it until
// the test has looked at the window. The long wait only keeps a broken
// window from hanging the test.
bool waitFor(QSemaphore &gate) { return gate.tryAcquire(1, 60000); }

// Saves what the window looks like when TX_GRAB_DIR names a folder.
void keepPicture(QDialog *dialog, const QString &name)
{
    const QString dir = qEnvironmentVariable("TX_GRAB_DIR");
    if (!dir.isEmpty())
        dialog->grab().save(QDir(dir).filePath(name));
}

const QString LongPath = QStringLiteral(
    "/home/u/Documents/Projects/2001/Annual report for the shareholders/Chapter 3/figures/"
    "sales-by-region-final-final.png");
QStringList boxLog;
void keepBoxLog(QtMsgType, const QMessageLogContext &context, const QString &message)
{
    if (QLatin1String(context.category) == QLatin1String("tandemix.messagebox"))
        boxLog << message;
}
} // namespace

class tst_ProgressWindow : public QObject {
    Q_OBJECT
private slots:
    void returnsWhatTheWorkReturns_data();
    void returnsWhatTheWorkReturns();
    void showsNoWindowBeforeItsTime();
    void showsTheCopyTheFlushThenTheReadBack();
    void onlyTheStopButtonStopsTheCopy();
    void messageBoxShowsItsWholeTextAndTheCause_data();
    void messageBoxShowsItsWholeTextAndTheCause();
};

void tst_ProgressWindow::returnsWhatTheWorkReturns_data()
{
    QTest::addColumn<int>("number");
    QTest::newRow("success") << 0;
    QTest::newRow("already exists") << 58;
    QTest::newRow("disk full") << 61;
}

void tst_ProgressWindow::returnsWhatTheWorkReturns()
{
    QFETCH(int, number);
    ProgressWindow window;
    QThread *workThread = nullptr;
    const Result<void> result = window.run(QStringLiteral("バックアップ中…"), [&](CopyProgressObserver &) {
        workThread = QThread::currentThread();
        return number ? Result<void>(Error{number, QString()}) : Result<void>();
    });
    QCOMPARE(result.ok(), number == 0);
    if (number)
        QCOMPARE(result.error().number, number);
    QVERIFY(workThread && workThread != QThread::currentThread());
    QVERIFY(!visibleDialog());
}

void tst_ProgressWindow::showsNoWindowBeforeItsTime()
{
    ProgressWindow window(24h);
    QSemaphore looked;
    bool shownEarly = true;
    // The timer proves the event loop runs while the work waits.
    QTimer::singleShot(0, this, [&] {
        shownEarly = visibleDialog() != nullptr;
        looked.release();
    });
    const Result<void> result = window.run(QStringLiteral("復旧中…"), [&](CopyProgressObserver &) {
        return waitFor(looked) ? Result<void>() : Result<void>(Error{1, QStringLiteral("never looked")});
    });
    QVERIFY(result.ok());
    QVERIFY(!shownEarly);
}

void tst_ProgressWindow::showsTheCopyTheFlushThenTheReadBack()
{
    QWidget mainWindow;
    mainWindow.show();
    ProgressWindow window(0ms);
    QSemaphore copying, lookedAtCopy, flushing, lookedAtFlush, checking, lookedAtCheck;
    struct Seen {
        QString title, caption, files, bytes, current;
        int barValue = -1, barMaximum = -1;
        bool currentFits = false, modal = false, stayedAfterClose = false, stayedAfterEscape = false;
        bool stopEnabled = false, keepsHeight = false;
    } copy, flush, check;

    const auto look = [&](QDialog *dialog, Seen &seen) {
        seen.title = dialog->windowTitle();
        seen.caption = labelText(dialog, "caption");
        seen.files = labelText(dialog, "files");
        seen.bytes = labelText(dialog, "bytes");
        seen.current = labelText(dialog, "current");
        auto *current = dialog->findChild<QLabel *>(QStringLiteral("current"));
        seen.currentFits = current->x() + current->fontMetrics().horizontalAdvance(seen.current)
                           <= dialog->width();
        auto *bar = dialog->findChild<QProgressBar *>(QStringLiteral("bar"));
        seen.barValue = bar->value();
        seen.barMaximum = bar->maximum();
        seen.modal = QApplication::activeModalWidget() == dialog;
        seen.stopEnabled = dialog->findChild<QPushButton *>(QStringLiteral("stop"))->isEnabled();
        // The rate and time left come after a while, into a line kept for them.
        const int height = dialog->sizeHint().height();
        dialog->findChild<QLabel *>(QStringLiteral("rate"))->setText(QStringLiteral("12.4 MB/秒"));
        dialog->findChild<QLabel *>(QStringLiteral("timeLeft"))->setText(QStringLiteral("残り 約1時間20分"));
        seen.keepsHeight = dialog->sizeHint().height() == height;
        dialog->close();
        seen.stayedAfterClose = dialog->isVisible();
        QTest::keyClick(dialog, Qt::Key_Escape);
        seen.stayedAfterEscape = dialog->isVisible();
    };
    // Looks at the window each time the work has reached a stage and the
    // window has caught up with it.
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        QDialog *dialog = visibleDialog();
        if (!dialog)
            return;
        if (copying.available() && labelText(dialog, "files") == QStringLiteral("1 / 3")) {
            copying.acquire();
            keepPicture(dialog, QStringLiteral("progress-copy.png"));
            look(dialog, copy);
            lookedAtCopy.release();
        } else if (flushing.available() && labelText(dialog, "current") == QStringLiteral("書き込みを完了しています…")) {
            flushing.acquire();
            keepPicture(dialog, QStringLiteral("progress-flush.png"));
            look(dialog, flush);
            lookedAtFlush.release();
        } else if (checking.available() && labelText(dialog, "files") == QStringLiteral("1 / 2")) {
            checking.acquire();
            keepPicture(dialog, QStringLiteral("progress-check.png"));
            look(dialog, check);
            lookedAtCheck.release();
        }
    });
    poll.start(10);

    const Result<void> result = window.run(QStringLiteral("バックアップ中…"), [&](CopyProgressObserver &observer) {
        observer.copyPlanned(3, 3 * 1024 * 1024);
        observer.fileStarted(QStringLiteral("/home/u/Documents/a.txt"));
        observer.bytesCopied(1024 * 1024);
        observer.fileStarted(LongPath);
        observer.bytesCopied(512 * 1024);
        copying.release();
        if (!waitFor(lookedAtCopy))
            return Result<void>(Error{1, QStringLiteral("copy not shown")});
        observer.bytesCopied(1536 * 1024);
        observer.flushStarted();
        flushing.release();
        if (!waitFor(lookedAtFlush))
            return Result<void>(Error{1, QStringLiteral("flush not shown")});
        // Two of the three files were written, the third left in place.
        observer.checkStarted(2, 2 * 1024 * 1024);
        observer.fileStarted(QStringLiteral("/media/u/STICK/Documents/a.txt"));
        observer.bytesCopied(1024 * 1024);
        observer.fileStarted(QStringLiteral("/media/u/STICK/Documents/b.txt"));
        observer.bytesCopied(256 * 1024);
        checking.release();
        if (!waitFor(lookedAtCheck))
            return Result<void>(Error{1, QStringLiteral("read-back not shown")});
        return Result<void>();
    });
    QVERIFY2(result.ok(), qPrintable(result.ok() ? QString() : result.error().description));
    QVERIFY(!visibleDialog());

    QCOMPARE(copy.title, AppInfo::Title);
    QCOMPARE(copy.caption, QStringLiteral("バックアップ中…"));
    QCOMPARE(copy.files, QStringLiteral("1 / 3"));
    QCOMPARE(copy.bytes, QStringLiteral("1.5 MB / 3.0 MB"));
    // The current file, shortened in its middle to fit.
    QVERIFY(copy.current.startsWith(QStringLiteral("/home/u/")));
    QVERIFY(copy.current.endsWith(QStringLiteral("final.png")));
    QVERIFY(copy.current.contains(QChar(0x2026)));
    QVERIFY(copy.currentFits);
    // Half the bytes, yet the files still to come weigh too.
    QVERIFY(copy.barValue > 0 && copy.barValue * 2 < copy.barMaximum);
    QVERIFY(copy.modal);
    QVERIFY(copy.stayedAfterClose);
    QVERIFY(copy.stayedAfterEscape);
    QVERIFY(copy.stopEnabled);
    QVERIFY(copy.keepsHeight);

    QCOMPARE(flush.files, QStringLiteral("3 / 3"));
    QCOMPARE(flush.bytes, QStringLiteral("3.0 MB / 3.0 MB"));
    QVERIFY(flush.stayedAfterClose);
    // By the flush the data is written: nothing is left to stop.
    QVERIFY(!flush.stopEnabled);

    // The read-back measures itself; a long one can be stopped.
    QCOMPARE(check.bytes, QStringLiteral("1.3 MB / 2.0 MB"));
    QCOMPARE(check.current, QStringLiteral("確認中 /media/u/STICK/Documents/b.txt"));
    // Five eighths of its bytes, less with the file still to check.
    QVERIFY(check.barValue > 0 && check.barValue * 8 < check.barMaximum * 5);
    QVERIFY(check.stopEnabled);
}

void tst_ProgressWindow::onlyTheStopButtonStopsTheCopy()
{
    ProgressWindow window(0ms);
    QSemaphore copying;
    std::atomic<CopyProgressObserver *> copy{nullptr};
    QString buttonText;
    bool stoppedByStrayInput = true, buttonDisabled = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        QDialog *dialog = visibleDialog();
        if (!dialog || !copying.tryAcquire())
            return;
        auto *stop = dialog->findChild<QPushButton *>(QStringLiteral("stop"));
        buttonText = stop->text();
        for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space})
            QTest::keyClick(dialog, key);
        dialog->close();
        stoppedByStrayInput = copy.load()->stopRequested();
        QTest::mouseClick(stop, Qt::LeftButton);
        buttonDisabled = !stop->isEnabled();
    });
    poll.start(10);

    const Result<void> result = window.run(QStringLiteral("バックアップ中…"), [&](CopyProgressObserver &observer) {
        observer.copyPlanned(2, 2 * 1024 * 1024);
        observer.fileStarted(LongPath);
        copy = &observer;
        copying.release();
        // As the engine does, between chunks.
        for (int waited = 0; !observer.stopRequested(); waited += 10) {
            if (waited > 60000)
                return Result<void>(Error{1, QStringLiteral("stop never pressed")});
            QThread::msleep(10);
        }
        return Result<void>(Error{ErrorNumber::UserInterrupt, QString()});
    });
    QCOMPARE(buttonText, QStringLiteral("中止(&C)"));
    QVERIFY(!stoppedByStrayInput);
    QVERIFY(buttonDisabled);
    QVERIFY(!result.ok());
    QCOMPARE(result.error().number, ErrorNumber::UserInterrupt);
    QVERIFY(!visibleDialog());
}

void tst_ProgressWindow::messageBoxShowsItsWholeTextAndTheCause_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("details");
    const QString general =
        QStringLiteral("エラーが発生しました。原因がわかる場合は､解決し､わからない場合は､作者に連絡ください。");
    QTest::newRow("general error") << general << QStringLiteral("エラー番号: 57\nRead error: /m/a\n記録: /l");
    QTest::newRow("two lines") << QStringLiteral("書き込み不能のフォルダを指定しています。\r\n設定を!!") << QString();
    QTest::newRow("three times as long") << general + general + general << QString();
}

void tst_ProgressWindow::messageBoxShowsItsWholeTextAndTheCause()
{
    QFETCH(QString, text);
    QFETCH(QString, details);
    QLoggingCategory::setFilterRules(QStringLiteral("tandemix.messagebox.info=true"));
    const QtMessageHandler previous = qInstallMessageHandler(keepBoxLog);
    boxLog.clear();
    QRect room, needed;
    QString shownDetails;
    QTimer poll; // answers the box once it is up, after a look at its label
    connect(&poll, &QTimer::timeout, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(visibleDialog());
        if (!box)
            return;
        const auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
        room = label->geometry().intersected(box->rect());
        needed = label->fontMetrics().boundingRect(QRect(0, 0, label->width(), 10000),
                                                   label->wordWrap() ? Qt::TextWordWrap : 0, text);
        shownDetails = box->detailedText();
        box->button(QMessageBox::Ok)->click();
    });
    poll.start(10);
    QCOMPARE(QtMessageBoxes().MsgBox(text, MsgButtons::OK, MsgIcon::None, {}, details), MsgAnswer::OK);
    qInstallMessageHandler(previous);
    QVERIFY(needed.width() <= room.width() && needed.height() <= room.height());
    QCOMPARE(shownDetails, details);
    QCOMPARE(boxLog, QStringList{AppInfo::Title + QStringLiteral(": ") + text
                                 + (details.isEmpty() ? QString() : QLatin1Char('\n') + details)});
}

QTEST_MAIN(tst_ProgressWindow)
#include "tst_progresswindow.moc"
