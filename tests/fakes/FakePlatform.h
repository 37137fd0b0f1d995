#pragma once

#include "fakes/FakeDriveTable.h"
#include "platform/Platform.h"
#include "runs/DriveFileSystem.h"
#include "runs/HistoryLog.h"
#include "runs/RunContext.h"

#include <QList>
#include <QStringList>
#include <QTemporaryDir>

#include <deque>
#include <functional>

// Thrown by FakeProcessEnder where the program would end at once.
struct ProgramEnded {};

class FakeBusyPointer final : public BusyPointer {
public:
    void setBusy(bool busy) override { m_busy = busy; }
    bool isBusy() const override { return m_busy; }

private:
    bool m_busy = false;
};

// Records every box and answers from a script; an unscripted box answers
// OK, No or Cancel (never Retry, so a retry loop cannot run away).
// whileShown runs while a box is up, as a user acting before answering.
class FakeMessageBoxes final : public MessageBoxes {
public:
    struct Box {
        QString text;
        MsgButtons buttons;
        MsgIcon icon;
        QString title; // as shown: the application title when none was given
        bool busyPointerOn;
        QString details;
    };

    explicit FakeMessageBoxes(const BusyPointer &pointer) : m_pointer(pointer) {}
    MsgAnswer MsgBox(const QString &text, MsgButtons buttons, MsgIcon icon,
                     const QString &title, const QString &details) override;

    void answerNext(MsgAnswer answer) { m_script.push_back(answer); }
    std::function<void(int boxNumber)> whileShown;
    QList<Box> boxes;
    QStringList texts() const;
    int unscripted = 0;

private:
    const BusyPointer &m_pointer;
    std::deque<MsgAnswer> m_script;
};

class FakeClipboard final : public Clipboard {
public:
    void setText(const QString &t) override { text = t; }
    QString text;
};

class FakeProgramStarter final : public ProgramStarter {
public:
    bool startFileExplorer() override { ++explorerStarts; return true; }
    bool startProgram(const QString &path) override { started << path; return startSucceeds; }
    int explorerStarts = 0;
    QStringList started;
    bool startSucceeds = true;
};

class FakeProcessEnder final : public ProcessEnder {
public:
    [[noreturn]] void endNow() override { ++ends; throw ProgramEnded{}; }
    int ends = 0;
};

class FakeDataDirectory final : public DataDirectory {
public:
    explicit FakeDataDirectory(QString dir) : m_dir(std::move(dir)) {}
    QString path() const override { return m_dir; }
    // Beside the data files, in the test's own folder.
    QString stateDirectory() const override { return m_dir + QStringLiteral("-state"); }
    void setPath(const QString &dir) { m_dir = dir; }

private:
    QString m_dir;
};

class FakeClock final : public Clock {
public:
    QString dateText() const override { return date; }
    QString timeText() const override { return time; }
    QString date = QStringLiteral("2001/05/20");
    QString time = QStringLiteral("22:27:32");
};

class FakeSystemInfoTool final : public SystemInfoTool {
public:
    QString find() const override { return path; }
    QString path; // empty: the machine has none
};

// Riri.dat after a clear, and the history box of a dialog without a history file.
inline const QString HeaderText = HistoryLog::Header + HistoryLog::CrLf;

// The settings dialog's history box as plain text, at first as after a clear.
class FakeHistoryBox final : public HistoryBox {
public:
    QString text = HeaderText;
    QString txtRireki() override { return text; }
    void setTxtRireki(const QString &t) override { text = t; }
    bool loadedWhole() override { return true; }
};

// Runs the work inline and records what the progress window would show.
class FakeCopyProgressRunner final : public CopyProgressRunner, private CopyProgressObserver {
public:
    Result<void> run(const QString &caption, const Work &work) override;
    QStringList captions;
    qint64 plannedFiles = 0, plannedBytes = 0, bytes = 0;
    QStringList files;
    bool flushed = false;
    // Files and bytes to read back, once the read-back began; files and
    // bytes then go on counting those read back.
    qint64 checkFiles = -1, checkBytes = -1;
    // The user presses stop once this holds; the copy asks between files
    // and between chunks of a file.
    std::function<bool(const FakeCopyProgressRunner &)> pressStopWhen;

private:
    void copyPlanned(qint64 f, qint64 b) override { plannedFiles = f; plannedBytes = b; }
    void fileStarted(const QString &path) override { files << path; }
    void bytesCopied(qint64 b) override { bytes += b; }
    void flushStarted() override { flushed = true; }
    void checkStarted(qint64 f, qint64 b) override { checkFiles = f; checkBytes = b; }
    bool stopRequested() const override { return pressStopWhen && pressStopWhen(*this); }
};

// Records every notice as its summary, a newline and its body.
struct FakeNotifications final : Notifications {
    bool notify(const QString &summary, const QString &body) override { return notices << summary + '\n' + body, true; }
    QStringList notices;
};

// Services a test puts in place of the fakes of FakePlatform.
struct Replacements {
    FileSystemService *fileSystem = nullptr;
    CopyProgressRunner *copyProgress = nullptr;
};

// Every service faked, over a fresh temporary folder: the data-file
// directory is <tmp>/data, the drives are folders under <tmp>/drives.
class FakePlatform {
public:
    FakePlatform();
    QString tempPath() const { return m_tmp.path(); }
    // Points the data files below a regular file, where nothing can be written.
    void makeDataDirectoryUnwritable();

    FakeBusyPointer busyPointer;
    FakeMessageBoxes messageBoxes{busyPointer};
    FakeClipboard clipboard;
    FakeProgramStarter programs;
    FakeProcessEnder ender;
    FakeDataDirectory dataDirectory{QString()};
    FakeClock clock;
    FakeSystemInfoTool systemInfo;
    FakeDriveTable drives;
    DriveFileSystem fileSystem{drives, &drives};
    FakeCopyProgressRunner copyProgress;
    FakeNotifications notifications;

    Platform platform(const Replacements &with = {});

private:
    QTemporaryDir m_tmp;
};
