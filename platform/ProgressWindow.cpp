#include "platform/ProgressWindow.h"

#include "core/AppInfo.h"
#include "platform/CopyEstimate.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLocale>
#include <QMutex>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <atomic>
#include <memory>
#include <optional>

namespace {

// What the worker reports, read by the window's timer. The engine calls
// these for every file and block, so they only store: no signals, no locks
// but the one per file for its path.
class CopyCounters final : public CopyProgressObserver {
public:
    struct Snapshot {
        bool planned;
        bool flushing;
        bool stopping;
        bool checking;
        qint64 totalFiles, totalBytes, filesStarted, bytes;
        qint64 writtenFiles, writtenBytes;                  // put in place by the copy
        qint64 checkFiles, checkBytes, checkStarted, checked; // of the read-back
        QString file;
    };

    void copyPlanned(qint64 files, qint64 bytes) override
    {
        m_totalFiles = files;
        m_totalBytes = bytes;
        m_planned.store(true, std::memory_order_release);
    }
    void fileStarted(const QString &sourcePath) override
    {
        {
            QMutexLocker lock(&m_fileMutex);
            m_file = sourcePath;
        }
        (checking() ? m_checkStarted : m_filesStarted).fetch_add(1, std::memory_order_relaxed);
    }
    void bytesCopied(qint64 bytes) override
    {
        (checking() ? m_checked : m_bytes).fetch_add(bytes, std::memory_order_relaxed);
    }
    void entryWritten(const WrittenEntry &entry) override
    {
        if (entry.kind != WrittenEntry::Kind::File)
            return;
        m_writtenFiles.fetch_add(1, std::memory_order_relaxed);
        m_writtenBytes.fetch_add(entry.size, std::memory_order_relaxed);
    }
    void flushStarted() override { m_flushing.store(true, std::memory_order_release); }
    void checkStarted(qint64 files, qint64 bytes) override
    {
        m_checkFiles = files;
        m_checkBytes = bytes;
        m_checking.store(true, std::memory_order_release);
    }
    bool stopRequested() const override { return m_stop.load(std::memory_order_relaxed); }
    void requestStop() { m_stop.store(true, std::memory_order_relaxed); }

    Snapshot snapshot() const
    {
        const bool planned = m_planned.load(std::memory_order_acquire);
        const bool checking = this->checking();
        Snapshot s{planned,
                   m_flushing.load(std::memory_order_acquire),
                   stopRequested(),
                   checking,
                   planned ? m_totalFiles : 0,
                   planned ? m_totalBytes : 0,
                   m_filesStarted.load(std::memory_order_relaxed),
                   m_bytes.load(std::memory_order_relaxed),
                   m_writtenFiles.load(std::memory_order_relaxed),
                   m_writtenBytes.load(std::memory_order_relaxed),
                   checking ? m_checkFiles : 0,
                   checking ? m_checkBytes : 0,
                   m_checkStarted.load(std::memory_order_relaxed),
                   m_checked.load(std::memory_order_relaxed),
                   QString()};
        QMutexLocker lock(&m_fileMutex);
        s.file = m_file;
        return s;
    }

private:
    bool checking() const { return m_checking.load(std::memory_order_acquire); }

    std::atomic<bool> m_planned{false};
    std::atomic<bool> m_flushing{false};
    std::atomic<bool> m_checking{false};
    std::atomic<bool> m_stop{false};
    qint64 m_totalFiles = 0; // published by m_planned
    qint64 m_totalBytes = 0;
    std::atomic<qint64> m_filesStarted{0};
    std::atomic<qint64> m_bytes{0};
    std::atomic<qint64> m_writtenFiles{0};
    std::atomic<qint64> m_writtenBytes{0};
    qint64 m_checkFiles = 0; // published by m_checking
    qint64 m_checkBytes = 0;
    std::atomic<qint64> m_checkStarted{0};
    std::atomic<qint64> m_checked{0};
    mutable QMutex m_fileMutex;
    QString m_file;
};

// The window itself. Only its stop button ends the copy early: it has no
// close button, and closing it otherwise, Esc, Enter or Space do nothing,
// so that no stray key or click on the frame ends a long backup unasked.
class ProgressDialog final : public QDialog {
public:
    ProgressDialog(const QString &caption, CopyCounters &counters)
        : QDialog(QApplication::activeWindow(),
                  Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
          m_counters(counters)
    {
        setWindowTitle(AppInfo::Title);
        setWindowModality(Qt::ApplicationModal);
        setFixedWidth(440);

        auto *captionLabel = new QLabel(caption);
        captionLabel->setObjectName(QStringLiteral("caption"));
        QFont bold = captionLabel->font();
        bold.setBold(true);
        bold.setPointSizeF(bold.pointSizeF() * 1.15);
        captionLabel->setFont(bold);

        auto *counts = new QGridLayout;
        counts->setHorizontalSpacing(12);
        counts->addWidget(new QLabel(QStringLiteral("ファイル")), 0, 0);
        counts->addWidget(m_files = new QLabel, 0, 1);
        counts->addWidget(new QLabel(QStringLiteral("データ量")), 1, 0);
        counts->addWidget(m_bytes = new QLabel, 1, 1);
        counts->setColumnStretch(1, 1);
        m_files->setObjectName(QStringLiteral("files"));
        m_bytes->setObjectName(QStringLiteral("bytes"));

        m_current = new QLabel;
        m_current->setObjectName(QStringLiteral("current"));
        // As wide as the window, whatever the path: the path is elided to fit.
        m_current->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        m_current->setForegroundRole(QPalette::PlaceholderText);

        m_bar = new QProgressBar;
        m_bar->setObjectName(QStringLiteral("bar"));
        m_bar->setRange(0, Steps);
        m_bar->setTextVisible(false);

        auto *estimate = new QHBoxLayout;
        estimate->addWidget(m_rate = new QLabel);
        estimate->addStretch();
        estimate->addWidget(m_timeLeft = new QLabel);
        m_rate->setObjectName(QStringLiteral("rate"));
        m_timeLeft->setObjectName(QStringLiteral("timeLeft"));
        // The line holds its height while empty, so the window keeps its
        // size when the estimate first shows; Japanese text may stand
        // taller than the font's Latin line.
        m_timeLeft->setText(TimeLeftText(std::chrono::hours(1)));
        const int line = m_timeLeft->sizeHint().height();
        m_timeLeft->clear();
        m_rate->setMinimumHeight(line);
        m_timeLeft->setMinimumHeight(line);

        m_stop = new QPushButton(QStringLiteral("中止(&C)"));
        m_stop->setObjectName(QStringLiteral("stop"));
        // Pressed by a click or Alt+C only, never by Enter or Space.
        m_stop->setAutoDefault(false);
        m_stop->setFocusPolicy(Qt::NoFocus);
        connect(m_stop, &QPushButton::clicked, this, [this] {
            m_counters.requestStop();
            refresh();
        });
        auto *buttons = new QHBoxLayout;
        buttons->addStretch();
        buttons->addWidget(m_stop);

        auto *layout = new QVBoxLayout(this);
        layout->setContentsMargins(18, 16, 18, 18);
        layout->setSpacing(10);
        layout->addWidget(captionLabel);
        layout->addLayout(counts);
        layout->addWidget(m_current);
        layout->addWidget(m_bar);
        layout->addLayout(estimate);
        layout->addLayout(buttons);

        layout->activate(); // the path label's width, before the first refresh
        m_clock.start();
        connect(&m_refresh, &QTimer::timeout, this, [this] { refresh(); });
        m_refresh.start(100);
        refresh();
    }

protected:
    void closeEvent(QCloseEvent *event) override { event->ignore(); }
    void reject() override {} // Esc does nothing either

private:
    static constexpr int Steps = 1000;

    void refresh()
    {
        const CopyCounters::Snapshot s = m_counters.snapshot();
        const QLocale locale = QLocale::system();
        // Once flushing, the data is written: stopping would save nothing
        // until the read-back, which may take as long as the copy.
        m_stop->setEnabled(!s.stopping && (!s.flushing || s.checking));
        if (!s.planned) {
            m_files->setText(QStringLiteral("—"));
            m_bytes->setText(QStringLiteral("—"));
            m_current->setText(QStringLiteral("コピーするファイルを調べています…"));
            m_bar->setRange(0, 0);
            return;
        }
        // The file being copied is not done yet; once flushing, all are.
        const qint64 filesDone = s.flushing ? s.totalFiles : qMax<qint64>(0, s.filesStarted - 1);
        const qint64 bytesDone = qMin(s.bytes, s.totalBytes);
        const qint64 checkedFiles = qMax<qint64>(0, s.checkStarted - 1);
        const qint64 checkedBytes = qMin(s.checked, s.checkBytes);
        // During the read-back the counters and the bar measure it alone.
        const qint64 shownFiles = s.checking ? checkedFiles : filesDone;
        const qint64 shownBytes = s.checking ? checkedBytes : bytesDone;
        const qint64 ofFiles = s.checking ? s.checkFiles : s.totalFiles;
        const qint64 ofBytes = s.checking ? s.checkBytes : s.totalBytes;
        m_files->setText(QStringLiteral("%1 / %2").arg(locale.toString(shownFiles), locale.toString(ofFiles)));
        m_bytes->setText(QStringLiteral("%1 / %2").arg(size(locale, shownBytes), size(locale, ofBytes)));
        // The estimate goes on across the two: the read-back is work of the
        // run, and what is still to be copied may all be written and need it.
        if (!m_estimate)
            m_estimate.emplace(s.totalFiles, s.totalBytes);
        if (s.checking)
            m_estimate->setTotals(s.totalFiles + s.checkFiles, s.totalBytes + s.checkBytes);
        else
            m_estimate->setTotals(2 * s.totalFiles - filesDone + s.writtenFiles,
                                  2 * s.totalBytes - bytesDone + s.writtenBytes);
        m_estimate->sample(std::chrono::milliseconds(m_clock.elapsed()),
                           s.checking ? s.totalFiles + checkedFiles : filesDone,
                           s.checking ? s.totalBytes + checkedBytes : bytesDone);
        const bool moving = (!s.flushing || s.checking) && !s.stopping;
        m_rate->setText(moving ? m_estimate->rateText(locale) : QString());
        m_timeLeft->setText(moving ? m_estimate->timeLeftText() : QString());
        if (s.flushing && !s.checking) {
            m_current->setText(QStringLiteral("書き込みを完了しています…"));
            m_bar->setRange(0, 0); // no measure of a flush: the bar just moves
            return;
        }
        const QString prefix = s.checking ? QStringLiteral("確認中 ") : QString();
        const QFontMetrics metrics = m_current->fontMetrics();
        m_current->setText(s.stopping ? QStringLiteral("中止しています…")
                                      : prefix + metrics.elidedText(s.file, Qt::ElideMiddle,
                                                                    m_current->contentsRect().width()
                                                                        - metrics.horizontalAdvance(prefix)));
        m_bar->setRange(0, Steps);
        // Files weigh as the time left weighs them, in whichever phase is shown.
        m_bar->setValue(int(Steps * CopyEstimate(ofFiles, ofBytes).partDone(shownFiles, shownBytes)));
    }

    static QString size(const QLocale &locale, qint64 bytes)
    {
        return locale.formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
    }

    CopyCounters &m_counters;
    QLabel *m_files;
    QLabel *m_bytes;
    QLabel *m_current;
    QProgressBar *m_bar;
    QLabel *m_rate;
    QLabel *m_timeLeft;
    QPushButton *m_stop;
    QTimer m_refresh;
    QElapsedTimer m_clock;
    std::optional<CopyEstimate> m_estimate; // from the moment the totals are known
};

} // namespace

Result<void> ProgressWindow::run(const QString &caption, const Work &work)
{
    CopyCounters counters;
    Result<void> result;
    bool finished = false;
    QEventLoop *waiting = nullptr;
    const std::unique_ptr<QThread> worker(QThread::create([&] { result = work(counters); }));
    QObject receiver; // lives on this thread, so the worker's end is queued here
    QObject::connect(worker.get(), &QThread::finished, &receiver, [&] {
        finished = true;
        if (waiting)
            waiting->quit();
    });
    const auto waitIn = [&](QEventLoop &loop, QEventLoop::ProcessEventsFlags flags) {
        waiting = &loop;
        loop.exec(flags);
        waiting = nullptr;
    };
    worker->start();

    // Until the window shows, user input waits: a click meanwhile must not
    // start anything inside this run.
    QEventLoop beforeWindow;
    QTimer::singleShot(m_showAfter, &beforeWindow, &QEventLoop::quit);
    waitIn(beforeWindow, QEventLoop::ExcludeUserInputEvents);
    if (!finished) {
        // Modal: the other windows take no input while it is up.
        ProgressDialog dialog(caption, counters);
        dialog.show();
        QEventLoop shown;
        waitIn(shown, QEventLoop::AllEvents);
    }
    worker->wait();
    return result;
}
