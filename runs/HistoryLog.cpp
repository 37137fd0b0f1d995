#include "runs/HistoryLog.h"

#include "core/SequentialFile.h"

namespace HistoryLog {

QString Entry(const QString &date, const QString &time, const Labels &labels,
              const QString &source, const QString &destination)
{
    return date + QLatin1Char(' ') + time + labels.source + source + labels.destination + destination;
}

Result<void> AppendAndSave(HistoryBox &box, const DataDirectory &dir, const QString &entry)
{
    const QString before = box.txtRireki();
    box.setTxtRireki(before + CrLf + entry);
    SequentialWriter writer;
    if (box.loadedWhole()) {
        writer.writeLine(box.txtRireki());
        return writer.commit(dir.filePath(FileName));
    }
    // The file holds history the box lacks: it grows by what a rewrite
    // would have added, and keeps the rest.
    writer.writeLine(before.endsWith(CrLf) ? CrLf + entry : entry);
    return writer.append(dir.filePath(FileName));
}

Result<QString> Load(const DataDirectory &dir)
{
    Result<SequentialReader> reader = SequentialReader::open(dir.filePath(FileName));
    if (!reader)
        return reader.error();
    QString text;
    // Blanks after the last line end are no item: the history ends there.
    for (Result<QString> item = reader.value().readField(); item; item = reader.value().readField())
        text += item.value() + CrLf;
    return text;
}

Result<void> Clear(const DataDirectory &dir)
{
    SequentialWriter writer;
    writer.writeLine(Header);
    return writer.commit(dir.filePath(FileName));
}

} // namespace HistoryLog
