#include "platform/LinuxServices.h"

#include <QDateTime>
#include <QDir>
#include <QStandardPaths>

#include <cstdlib>

QString LinuxClock::dateText() const
{
    return QDate::currentDate().toString(QStringLiteral("yyyy/MM/dd"));
}

QString LinuxClock::timeText() const
{
    return QTime::currentTime().toString(QStringLiteral("H:mm:ss"));
}

QString XdgDataDirectory::path() const
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return QDir::cleanPath(base + QStringLiteral("/tandemix"));
}

void LinuxProcessEnder::endNow()
{
    // Ending at once: no destructors, no closing events, nothing saved.
    std::_Exit(0);
}

QString PathSystemInfoTool::find() const
{
    for (const char *program : {"kinfocenter", "hardinfo2", "hardinfo", "gnome-system-monitor"})
        if (const QString path = QStandardPaths::findExecutable(QString::fromLatin1(program)); !path.isEmpty())
            return path;
    return QString();
}
