// Module Hukyuu: the restore run.
#include "runs/CopyRun.h"
#include "runs/Runs.h"

namespace {

// Always a separator after the directory, so a drive root gives two in a
// row ("/media/u/STICK//Data"), which the file system reads as one.
QString HukyuuDirectory(const DestinationParts &parts)
{
    return (parts.separateDestination ? parts.txtFolderPath2 : parts.dir2) + QLatin1Char('/');
}

// The copy comes back under the source's base name in every case.
QString HukyuuName(const DestinationParts &parts)
{
    return parts.baseName;
}

const CopyRunKind Hukyuu{
    .progressCaption = QStringLiteral("復旧中…"),
    .completed = QStringLiteral("復旧が完了しました。"),
    .stopped = QStringLiteral("復旧を中止しました。"),
    .logName = QStringLiteral("復旧"),
    .labels = HistoryLog::RestoreLabels,
    .destinationDirectory = HukyuuDirectory,
    .destinationName = HukyuuName,
    .comparesFreeSpace = false,
    .reportsPermissionDenied = true,
    .namesSeparateSourceByBaseName = true,
    .repeat = RunHukyuu,
};

} // namespace

void RunHukyuu(RunContext &context)
{
    CopyRun(context, Hukyuu).Run();
}
