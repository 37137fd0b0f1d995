#pragma once

#include "runs/HistoryLog.h"
#include "runs/RunContext.h"

#include <QString>

// What a run has read when it forms its destination path.
struct DestinationParts {
    QString dir2;                // destination drive's root, with its trailing '/'
    bool separateDestination;    // chkFolder2 on
    QString txtFolderPath2;      // the separate destination directory
    bool separateSource;         // chkFolder1 on
    QString folderName;          // txtBackup as read at the start of the run
    QString baseName;            // GetBaseName of the source path
};

// Everything that tells the backup run from the restore run. The steps,
// their order and the error handler are shared (CopyRun).
struct CopyRunKind {
    QString progressCaption;     // "バックアップ中…"
    QString completed;           // "バックアップが完了しました。"
    QString stopped;             // "バックアップを中止しました。"
    QString logName;             // "バックアップ", in the run log
    HistoryLog::Labels labels;
    // The destination path is this directory, ending in whatever separator
    // the run puts before the name, followed by the name.
    QString (*destinationDirectory)(const DestinationParts &parts);
    QString (*destinationName)(const DestinationParts &parts);
    // After the copy, what it added to the destination is compared with
    // the free space the destination drive had before it.
    bool comparesFreeSpace;
    // 70 has a message of its own instead of the general report.
    bool reportsPermissionDenied;
    // The folder-not-found message names a separate source by its base
    // name instead of the folder name.
    bool namesSeparateSourceByBaseName;
    // The run started again after the user agreed to overwrite.
    void (*repeat)(RunContext &context);
};

// One backup or restore run: reads its inputs, copies with the progress
// window, checks, records the history entry and reports. No failure reaches
// the caller; with chkEnd on it ends the program.
class CopyRun {
public:
    CopyRun(RunContext &context, const CopyRunKind &kind) : m_context(context), m_kind(kind) {}
    void Run();

private:
    Result<void> Steps();
    void Stopped();
    // False, after telling the user, when a name would leave its folder.
    bool BuildPaths(const DriveEntry &dir2);
    // 71 when a root taken from Dir1 or Dir2 no longer lies on its mount.
    Result<void> RootsStillMounted();
    Result<void> CopyFolder();
    Result<void> AddHistoryEntry();
    void Complete();
    void OnError(const Error &error);
    void Log(const Error &error);
    // A line of the run log: its time, the run, then what.
    void LogLine(const QString &what);
    void ReportUnexpectedError(const Error &error);
    QString NotFoundName();
    void SetBusy(bool busy) { m_context.platform.busyPointer.setBusy(busy); }
    MsgAnswer MsgBox(const QString &text, MsgButtons buttons = MsgButtons::OK,
                     MsgIcon icon = MsgIcon::None, const QString &title = {});

    RunContext &m_context;
    const CopyRunKind &m_kind;
    QString m_folderName;
    QString m_source;
    QString m_baseName; // of m_source
    QString m_destination;
    QList<DriveEntry> m_roots; // the drives of Dir1 and Dir2 the paths start from
    CopyCounts m_counts; // what the copy did to the destination
};
