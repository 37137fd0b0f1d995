#include "platform/LinuxServices.h"

#include <QDateTime>
#include <QDir>

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

long NoRegistry::RegOpenKeyExA(quint32, const QByteArray &, quint32, quint32, Handle *result)
{
    if (result)
        *result = 0;
    return ERROR_FILE_NOT_FOUND;
}

long NoRegistry::RegQueryValueExA(Handle, const QByteArray &, quint32 *, QByteArray &, quint32 *)
{
    return ERROR_INVALID_HANDLE;
}

long NoRegistry::RegCloseKey(Handle)
{
    return ERROR_INVALID_HANDLE;
}
