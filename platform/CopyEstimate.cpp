#include "platform/CopyEstimate.h"

#include <algorithm>
#include <cmath>

namespace {

using namespace std::chrono_literals;

// Long enough to even out a slow file, short enough to follow a copy that
// moves from a fast disk to a slow one.
constexpr CopyEstimate::Milliseconds Window = 5s;
// Until then a copy has mostly filled caches: its rate says little.
constexpr CopyEstimate::Milliseconds Settling = 2s;
// What one file costs beyond its bytes (creating, renaming, setting its
// times), as the bytes copied in the same time. txcopy takes about 0.1 ms
// a file on an ext4 disk that takes 1 to 2 GB/s into its cache; a USB stick
// is slower at both. An even tree is estimated right whatever this is.
constexpr qint64 FileCost = 256 * 1024;

qint64 work(qint64 files, qint64 bytes)
{
    return bytes + files * FileCost;
}

} // namespace

void CopyEstimate::sample(Milliseconds at, qint64 filesDone, qint64 bytesDone)
{
    if (m_samples.empty())
        m_start = at;
    m_samples.push_back(Sample{at, filesDone, bytesDone});
    // The oldest sample kept is the last one at or before the window's start.
    while (m_samples.size() > 2 && m_samples[1].at <= at - Window)
        m_samples.pop_front();
}

double CopyEstimate::partDone(qint64 filesDone, qint64 bytesDone) const
{
    const qint64 total = work(m_totalFiles, m_totalBytes);
    return total > 0 ? std::clamp(double(work(filesDone, bytesDone)) / double(total), 0.0, 1.0) : 0.0;
}

std::optional<qint64> CopyEstimate::span() const
{
    if (m_samples.empty() || m_samples.back().at - m_start < Settling)
        return std::nullopt;
    return (m_samples.back().at - m_samples.front().at).count();
}

std::optional<double> CopyEstimate::bytesPerSecond() const
{
    const std::optional<qint64> ms = span();
    if (!ms)
        return std::nullopt;
    return double(m_samples.back().bytes - m_samples.front().bytes) * 1000.0 / double(*ms);
}

std::optional<std::chrono::seconds> CopyEstimate::timeLeft() const
{
    const std::optional<qint64> ms = span();
    if (!ms)
        return std::nullopt;
    const Sample &first = m_samples.front();
    const Sample &last = m_samples.back();
    const double done = double(work(last.files, last.bytes) - work(first.files, first.bytes));
    if (done <= 0)
        return std::nullopt;
    const double left = double(std::max<qint64>(0, work(m_totalFiles, m_totalBytes) - work(last.files, last.bytes)));
    return std::chrono::seconds(qint64(std::ceil(left * double(*ms) / done / 1000.0)));
}

QString CopyEstimate::rateText(const QLocale &locale) const
{
    const std::optional<double> rate = bytesPerSecond();
    if (!rate)
        return QString();
    return locale.formattedDataSize(qint64(*rate), 1, QLocale::DataSizeTraditionalFormat)
           + QStringLiteral("/秒");
}

QString CopyEstimate::timeLeftText() const
{
    const std::optional<std::chrono::seconds> left = timeLeft();
    return left ? TimeLeftText(*left) : QString();
}

QString TimeLeftText(std::chrono::seconds left)
{
    const qint64 seconds = std::max<qint64>(left.count(), 0);
    const qint64 tens = std::max<qint64>((seconds + 9) / 10, 1) * 10;
    if (tens < 60)
        return QStringLiteral("残り 約%1秒").arg(tens);
    const qint64 minutes = (seconds + 30) / 60;
    if (minutes < 60)
        return QStringLiteral("残り 約%1分").arg(minutes);
    if (minutes % 60 == 0)
        return QStringLiteral("残り 約%1時間").arg(minutes / 60);
    return QStringLiteral("残り 約%1時間%2分").arg(minutes / 60).arg(minutes % 60);
}
