#include "runs/RunLog.h"

#include "core/PosixIo.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <unistd.h>

namespace {

// A name may hold a newline or a terminal's escape sequence: written as
// it is, it would start a line of its own or repaint the terminal of
// whoever reads the log. Control characters and the backslash that
// introduces the escapes are written as \xNN.
QString escaped(const QString &line)
{
    QString out;
    out.reserve(line.size());
    for (const QChar c : line) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7f || (u >= 0x80 && u <= 0x9f) || u == u'\\' || u == 0x2028 || u == 0x2029)
            out += QStringLiteral("\\x%1").arg(unsigned(u), u > 0xff ? 4 : 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

} // namespace

QString RunLog::FilePath(const QString &directory)
{
    return directory + QLatin1Char('/') + FileName;
}

void RunLog::Append(const QString &directory, const QString &line)
{
    QDir().mkpath(directory);
    const QString path = FilePath(directory);
    // A link or anything but a plain file in the log's place is left alone:
    // the log writes nowhere else.
    Fd log(::open(QFile::encodeName(path).constData(),
                  O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    struct stat st {};
    if (!log.valid() || ::fstat(log.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return;
    QFile old(path);
    if (st.st_size > Limit && old.open(QIODevice::ReadOnly)) {
        const QByteArray all = old.readAll();
        old.close();
        // The newer half, from the first whole line in it.
        const qsizetype half = all.size() / 2;
        const QByteArray kept = all.mid(all.indexOf('\n', half) + 1);
        QSaveFile trimmed(path);
        if (trimmed.open(QIODevice::WriteOnly) && trimmed.write(kept) == kept.size() && trimmed.commit())
            log = Fd(::open(QFile::encodeName(path).constData(),
                            O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC));
    }
    const QByteArray bytes = escaped(line).toUtf8() + '\n';
    if (log.valid())
        (void)writeAll(log.get(), bytes.constData(), size_t(bytes.size()));
}
