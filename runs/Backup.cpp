// Module Backup: the backup run.
#include "runs/CopyRun.h"
#include "runs/Runs.h"

namespace {

// The folder lands at the drive root (no separator after the root's own)
// or inside the separate destination directory.
QString BackupDirectory(const DestinationParts &parts)
{
    return parts.separateDestination ? parts.txtFolderPath2 + QLatin1Char('/') : parts.dir2;
}

// A separate source is named by its base name, otherwise the folder name.
QString BackupName(const DestinationParts &parts)
{
    return parts.separateSource ? parts.baseName : parts.folderName;
}

const CopyRunKind Backup{
    .progressCaption = QStringLiteral("バックアップ中…"),
    .completed = QStringLiteral("バックアップが完了しました。"),
    .stopped = QStringLiteral("バックアップを中止しました。"),
    .logName = QStringLiteral("バックアップ"),
    .labels = HistoryLog::BackupLabels,
    .destinationDirectory = BackupDirectory,
    .destinationName = BackupName,
    .comparesFreeSpace = true,
    .reportsPermissionDenied = false,
    .namesSeparateSourceByBaseName = false,
    .repeat = RunBackup,
};

} // namespace

void RunBackup(RunContext &context)
{
    CopyRun(context, Backup).Run();
}
