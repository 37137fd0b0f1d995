#pragma once

#include <QLocale>
#include <QString>

#include <chrono>
#include <deque>
#include <optional>

// The rate of a copy and the time it has left, from its progress sampled as
// it goes. Both are averaged over the last few seconds, so that one slow
// file or a burst into the disk cache does not swing them. Files count as
// well as bytes: each file costs its creation, renaming and times whatever
// its size, so a tree of many small files is estimated as well as one of a
// few large ones.
class CopyEstimate {
public:
    using Milliseconds = std::chrono::milliseconds;

    CopyEstimate(qint64 totalFiles, qint64 totalBytes) : m_totalFiles(totalFiles), m_totalBytes(totalBytes) {}

    // The work grows or shrinks as the run learns what it has to do.
    void setTotals(qint64 files, qint64 bytes)
    {
        m_totalFiles = files;
        m_totalBytes = bytes;
    }

    // The progress at a moment (any steady clock); the first sample is the
    // start of the copy.
    void sample(Milliseconds at, qint64 filesDone, qint64 bytesDone);

    // How much of the work is done, 0 to 1, files weighed as the time left
    // weighs them: a bar by bytes alone is full while thousands of small
    // files remain.
    double partDone(qint64 filesDone, qint64 bytesDone) const;

    // Bytes per second; none before two seconds have passed.
    std::optional<double> bytesPerSecond() const;
    // None before two seconds have passed, or while nothing moves.
    std::optional<std::chrono::seconds> timeLeft() const;

    // "12.4 MB/秒", empty while there is no rate.
    QString rateText(const QLocale &locale) const;
    // "残り 約3分", empty while the time left is unknown.
    QString timeLeftText() const;

private:
    struct Sample {
        Milliseconds at;
        qint64 files;
        qint64 bytes;
    };
    // Milliseconds the samples kept span, when they may be trusted.
    std::optional<qint64> span() const;

    qint64 m_totalFiles;
    qint64 m_totalBytes;
    Milliseconds m_start{};
    std::deque<Sample> m_samples;
};

// "残り 約40秒", "残り 約3分", "残り 約1時間20分": rounded up to ten
// seconds under a minute, to the nearest minute above.
QString TimeLeftText(std::chrono::seconds left);
