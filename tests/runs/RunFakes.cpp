#include "runs/RunFakes.h"

#include <QtTest>

QString ScriptedFileSystem::GetDriveName(const QString &path)
{
    m_log << QStringLiteral("GetDriveName ") + path;
    return QStringLiteral("E:");
}

Result<DriveEntry> ScriptedFileSystem::GetDrive(const QString &driveName)
{
    m_log << QStringLiteral("GetDrive ") + driveName;
    return DriveEntry{driveName, QStringLiteral("STICK"), QStringLiteral("/media/u/STICK/")};
}

Result<qint64> ScriptedFileSystem::FreeSpace(const DriveEntry &drive)
{
    m_log << QStringLiteral("FreeSpace ") + drive.name;
    return freeSpace;
}

Result<void> ScriptedFileSystem::CopyFolder(const QString &source, const QString &destination,
                                            const CopyOptions &options, CopyObserver *observer,
                                            CopyCounts *counts)
{
    m_log << QStringLiteral("CopyFolder");
    copies.append(CopyCall{source, destination, options});
    QStringList written;
    if (observer) {
        observer->copyPlanned(copiedFiles.size(), 10 * copiedFiles.size());
        for (const QString &file : copiedFiles) {
            observer->fileStarted(source + QLatin1Char('/') + file);
            observer->bytesCopied(10);
            written << destination + QLatin1Char('/') + file;
        }
    }
    if (duringCopy)
        duringCopy();
    if (counts)
        counts->bytesAdded = bytesAdded;
    Result<void> result;
    if (!copyResults.empty()) {
        result = copyResults.front();
        copyResults.pop_front();
    }
    return options.check ? settle(destination, result, written, observer) : result;
}

Result<void> ScriptedFileSystem::settle(const QString &destination, const Result<void> &copied,
                                        const QStringList &written, CopyObserver *observer)
{
    if (observer)
        observer->flushStarted();
    m_log << QStringLiteral("FlushToDevice ") + destination;
    Result<void> checked = flushResult;
    if (checked) {
        m_log << (QStringList{QStringLiteral("ReadBack")} + written).join(QLatin1Char(' '));
        checked = readBackResult;
    }
    return copied ? checked : copied;
}

Result<Folder> ScriptedFileSystem::GetFolder(const QString &path)
{
    m_log << QStringLiteral("GetFolder ") + path;
    return Folder{path};
}

Result<qint64> ScriptedFileSystem::Size(const Folder &)
{
    m_log << QStringLiteral("Size");
    return qint64(0); // no run measures a folder
}

void FakeRunOptions::setChkUwa(int value)
{
    m_log << QStringLiteral("setChkUwa %1").arg(value);
    uwa = value;
}

RunWorld::RunWorld(Engine engine)
    : platform(fakes.platform({.fileSystem = engine == Engine::Real ? nullptr : &fileSystem}))
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
    return QString::fromUtf8(Trees::readFile(fakes.dataDirectory.filePath(HistoryLog::FileName)));
}

void addPathColumns()
{
    QTest::addColumn<QString>("folderName");
    QTest::addColumn<QString>("folderPath1");
    QTest::addColumn<QString>("folderPath2");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("destination");
}

void verifyPathsRow(void (*runProcedure)(RunContext &), const HistoryLog::Labels &labels)
{
    QFETCH(QString, folderName);
    QFETCH(QString, folderPath1);
    QFETCH(QString, folderPath2);
    QFETCH(QString, source);
    QFETCH(QString, destination);
    RunWorld world;
    world.mainWindow.folderName = folderName;
    world.options.folder1 = folderPath1.isEmpty() ? 0 : 1;
    world.options.folderPath1 = folderPath1;
    world.options.folder2 = folderPath2.isEmpty() ? 0 : 1;
    world.options.folderPath2 = folderPath2;
    world.options.end = 0;
    QVERIFY(!world.run(runProcedure));

    QCOMPARE(world.fileSystem.copies.size(), 1);
    QCOMPARE(world.fileSystem.copies[0].source, source);
    QCOMPARE(world.fileSystem.copies[0].destination, destination);
    QVERIFY(world.log.contains(QStringLiteral("FlushToDevice ") + destination));
    QVERIFY(world.history.text.endsWith(QStringLiteral("22:27:32") + labels.source + source
                                        + labels.destination + destination));
}

