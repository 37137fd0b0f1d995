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

namespace {

// The program's folder in an XDG base directory, else in its default below
// the home folder; a relative value is to be ignored.
QString xdgFolder(const char *variable, const QString &fallback)
{
    QString base = qEnvironmentVariable(variable);
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + fallback;
    return QDir::cleanPath(base + QStringLiteral("/tandemix"));
}

} // namespace

QString XdgDataDirectory::path() const
{
    return xdgFolder("XDG_CONFIG_HOME", QStringLiteral("/.config"));
}

QString XdgDataDirectory::stateDirectory() const
{
    return xdgFolder("XDG_STATE_HOME", QStringLiteral("/.local/state"));
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
