#pragma once

#include "runs/HistoryLog.h"

#include "fakes/FakePlatform.h"
#include "fakes/Trees.h"
#include "runs/RunContext.h"

#include <QStringList>

#include <deque>
#include <functional>

// A file-system component that copies nothing: it records every call in a
// shared log and answers from a script.
class ScriptedFileSystem final : public FileSystemService {
public:
    explicit ScriptedFileSystem(QStringList &log) : m_log(log) {}

    struct CopyCall {
        QString source;
        QString destination;
        CopyOptions options;
    };

    // Script. Every CopyFolder takes the next result; none left means success.
    Result<qint64> freeSpace = qint64(1) << 40;
    std::deque<Result<void>> copyResults;
    // What each copy tells it added to the destination.
    qint64 bytesAdded = 1000;
    // What a checked copy's flush and read-back give.
    Result<void> flushResult;
    Result<void> readBackResult;
    // Told to the observer by each copy, as an engine would.
    QStringList copiedFiles{QStringLiteral("a.txt")};
    std::function<void()> duringCopy;

    QList<CopyCall> copies;

    QList<DriveEntry> Drives() override { return {}; }
    QString CurrentDrive() override { return QStringLiteral("C:"); }
    QString GetDriveName(const QString &path) override;
    Result<DriveEntry> GetDrive(const QString &driveName) override;
    bool IsReady(const DriveEntry &) override { return true; }
    Result<qint64> FreeSpace(const DriveEntry &drive) override;
    Result<void> CopyFolder(const QString &source, const QString &destination, const CopyOptions &options,
                            CopyObserver *observer, CopyCounts *counts) override;
    Result<Folder> GetFolder(const QString &path) override;
    Result<qint64> Size(const Folder &folder) override;

private:
    // Logs the flush and the read-back of what a checked copy wrote, as
    // the real component does them after the copy.
    Result<void> settle(const QString &destination, const Result<void> &copied, const QStringList &written,
                        CopyObserver *observer);

    QStringList &m_log;
};

// The main window's inputs, logging each read.
class FakeMainWindow final : public MainWindowInputs {
public:
    explicit FakeMainWindow(QStringList &log) : m_log(log) {}
    DriveEntry dir1{QStringLiteral("C:"), QStringLiteral("ホーム"), QStringLiteral("/home/u/")};
    DriveEntry dir2{QStringLiteral("E:"), QStringLiteral("STICK"), QStringLiteral("/media/u/STICK/")};
    QString folderName = QStringLiteral("Data");
    int page = 0;

    DriveEntry Dir1Drive() override { m_log << QStringLiteral("Dir1"); return dir1; }
    DriveEntry Dir2Drive() override { m_log << QStringLiteral("Dir2"); return dir2; }
    QString txtBackupText() override { m_log << QStringLiteral("txtBackup"); return folderName; }
    int selectedPage() override { return page; }

private:
    QStringList &m_log;
};

// The run options, logging each read. onFirstRead stands for the settings
// dialog loading itself, hidden, when a run first reads an option.
class FakeRunOptions final : public RunOptions {
public:
    explicit FakeRunOptions(QStringList &log) : m_log(log) {}
    int folder1 = 0, folder2 = 0, uwa = 0, msg1 = 1, msg2 = 1, end = 1, time = 0;
    QString folderPath1, folderPath2, backup1, backup2, backup3;
    std::function<void()> onFirstRead;

    int chkFolder1() override { return read("chkFolder1", folder1); }
    QString txtFolderPath1() override { return read("txtFolderPath1", folderPath1); }
    int chkFolder2() override { return read("chkFolder2", folder2); }
    QString txtFolderPath2() override { return read("txtFolderPath2", folderPath2); }
    int chkUwa() override { return read("chkUwa", uwa); }
    int chkMsg1() override { return read("chkMsg1", msg1); }
    int chkMsg2() override { return read("chkMsg2", msg2); }
    int chkEnd() override { return read("chkEnd", end); }
    int chkTime() override { return read("chkTime", time); }
    QString txtBackup1() override { return read("txtBackup1", backup1); }
    QString txtBackup2() override { return read("txtBackup2", backup2); }
    QString txtBackup3() override { return read("txtBackup3", backup3); }
    void setChkUwa(int value) override;

private:
    template <typename T>
    T read(const char *name, const T &value);
    QStringList &m_log;
};

template <typename T>
T FakeRunOptions::read(const char *name, const T &value)
{
    if (onFirstRead) {
        const std::function<void()> load = std::move(onFirstRead);
        onFirstRead = nullptr;
        load();
    }
    m_log << QString::fromLatin1(name);
    return value;
}

// A run's whole world: fake services, the file-system component, the
// inputs. The history file goes to the fake data directory. The component
// is the scripted one, or the real engine over the fake drive table.
struct RunWorld {
    enum class Engine { Scripted, Real };
    explicit RunWorld(Engine engine = Engine::Scripted);

    QStringList log;
    FakePlatform fakes;
    ScriptedFileSystem fileSystem{log};
    FakeMainWindow mainWindow{log};
    FakeRunOptions options{log};
    FakeHistoryBox history;
    RunGate gate;
    Platform platform;
    RunContext context{platform, mainWindow, options, history, gate};

    // Runs it; true when it ended the program.
    bool run(void (*runProcedure)(RunContext &));
    // The history file's text, Trees::Missing when there is none.
    QString historyFile() const;
    QStringList boxTexts() const { return fakes.messageBoxes.texts(); }
};

// A row of a run's path table: the columns folderName, folderPath1 and
// folderPath2 (empty: that option off) give the inputs, source and
// destination the paths the run must copy between and record.
void addPathColumns();
// Runs the row and checks the copy, the flush and the history entry.
void verifyPathsRow(void (*runProcedure)(RunContext &), const HistoryLog::Labels &labels);

