#pragma once

#include "platform/DataDirectory.h"
#include "core/Result.h"
#include "runs/RunContext.h"

#include <QString>

// The history log: the settings dialog's box txtRireki is the working copy,
// Riri.dat in the data-file directory keeps it between starts.
namespace HistoryLog {

inline const QString FileName = QStringLiteral("Riri.dat");
inline const QString Header =
    QStringLiteral("----------------------------------今までの履歴-------------------------------");
inline const QString CrLf = QStringLiteral("\r\n");

// The words of an entry, which tell a backup from a restore.
struct Labels {
    QString source;      // "  バックアップ元"
    QString destination; // "  バックアップ先"
};
inline const Labels BackupLabels{QStringLiteral("  バックアップ元"), QStringLiteral("  バックアップ先")};
inline const Labels RestoreLabels{QStringLiteral("  復旧元"), QStringLiteral("  復旧先")};

// "2001/05/20 22:27:32  バックアップ元/home/u/Docs  バックアップ先/media/u/S/Docs"
QString Entry(const QString &date, const QString &time, const Labels &labels,
              const QString &source, const QString &destination);

// Appends CR LF and the entry to the box, then rewrites the file with the
// whole box and a final CR LF. A box that did not load the whole file only
// adds to the file's end, so history it could not show is never lost. When
// the write fails the box keeps the entry.
Result<void> AppendAndSave(HistoryBox &box, const DataDirectory &dir, const QString &entry);

// Reads the file item by item, each item followed by CR LF (a line with
// commas comes back split at them). 53 when missing, 62 never: an empty
// file loads as empty text, blanks after the last line end are dropped.
Result<QString> Load(const DataDirectory &dir);

// Rewrites the file as the header line and CR LF.
Result<void> Clear(const DataDirectory &dir);

} // namespace HistoryLog
