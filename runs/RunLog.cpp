#include "runs/RunLog.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

void RunLog::Append(const QString &directory, const QString &line)
{
    QDir().mkpath(directory);
    const QString path = directory + QLatin1Char('/') + FileName;
    QFile log(path);
    if (log.size() > Limit && log.open(QIODevice::ReadOnly)) {
        const QByteArray all = log.readAll();
        log.close();
        // The newer half, from the first whole line in it.
        const qsizetype half = all.size() / 2;
        const QByteArray kept = all.mid(all.indexOf('\n', half) + 1);
        QSaveFile trimmed(path);
        if (trimmed.open(QIODevice::WriteOnly) && trimmed.write(kept) == kept.size())
            (void)trimmed.commit();
    }
    if (log.open(QIODevice::WriteOnly | QIODevice::Append))
        log.write(line.toUtf8() + '\n');
}
