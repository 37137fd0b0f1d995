#include "runs/RunFakes.h"

#include <QFile>

QString ScriptedFileSystem::GetDriveName(const QString &path)
{
    m_log << QStringLiteral("GetDriveName ") + path;
    return QStringLiteral("E:");
}

Result<DriveEntry> ScriptedFileSystem::GetDrive(const QString &driveName)
{
    m_log << QStringLiteral("GetDrive ") + driveName;
    if (!driveExists)
        return Error{ErrorNumber::DeviceUnavailable, QStringLiteral("no such drive")};
    return DriveEntry{driveName, QStringLiteral("STICK"), QStringLiteral("/media/u/STICK/")};
}

Result<qint64> ScriptedFileSystem::FreeSpace(const DriveEntry &drive)
{
    m_log << QStringLiteral("FreeSpace ") + drive.name;
    return freeSpace;
}

QString ScriptedFileSystem::GetBaseName(const QString &path)
{
    const QString last = path.section(QLatin1Char('/'), -1);
    const qsizetype dot = last.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? last.left(dot) : last;
}

Result<void> ScriptedFileSystem::CopyFolder(const QString &source, const QString &destination,
                                            bool overwrite, CopyObserver *observer)
{
    m_log << QStringLiteral("CopyFolder");
    copies.append(CopyCall{source, destination, overwrite});
    if (observer) {
        observer->copyPlanned(copiedFiles.size(), 10 * copiedFiles.size());
        for (const QString &file : copiedFiles) {
            observer->fileStarted(source + QLatin1Char('/') + file);
            observer->bytesCopied(10);
        }
    }
    if (duringCopy)
        duringCopy();
    if (copyResults.empty())
        return {};
    Result<void> result = copyResults.front();
    copyResults.pop_front();
    return result;
}

Result<Folder> ScriptedFileSystem::GetFolder(const QString &path)
{
    m_log << QStringLiteral("GetFolder ") + path;
    return Folder{path};
}

Result<qint64> ScriptedFileSystem::Size(const Folder &)
{
    m_log << QStringLiteral("Size");
    return sourceSize;
}

Result<void> ScriptedFileSystem::FlushToDevice(const QString &path)
{
    m_log << QStringLiteral("FlushToDevice ") + path;
    return flushResult;
}

void FakeRunOptions::setChkUwa(int value)
{
    m_log << QStringLiteral("setChkUwa %1").arg(value);
    uwa = value;
}

RunWorld::RunWorld(Engine engine)
    : platform{fakes.messageBoxes,
               fakes.busyPointer,
               fakes.clipboard,
               fakes.programs,
               fakes.ender,
               fakes.dataDirectory,
               fakes.clock,
               fakes.registry,
               engine == Engine::Real ? static_cast<FileSystemService &>(fakes.fileSystem)
                                      : static_cast<FileSystemService &>(fileSystem),
               fakes.copyProgress}
{
}

bool RunWorld::run(void (*runProcedure)(RunContext &))
{
    try {
        runProcedure(context);
    } catch (const ProgramEnded &) {
        return true;
    }
    return false;
}

QString RunWorld::historyFile() const
{
    QFile file(fakes.dataDirectory.filePath(QStringLiteral("Riri.dat")));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}
