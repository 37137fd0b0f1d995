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
    box.setTxtRireki(box.txtRireki() + CrLf + entry);
    SequentialWriter writer;
    writer.writeLine(box.txtRireki());
    return writer.commit(dir.filePath(FileName));
}

Result<QString> Load(const DataDirectory &dir)
{
    Result<SequentialReader> reader = SequentialReader::open(dir.filePath(FileName));
    if (!reader)
        return reader.error();
    QString text;
    while (!reader->atEnd()) {
        Result<QString> item = reader.value().readField();
        if (!item)
            return item.error();
        text += item.value() + CrLf;
    }
    return text;
}

Result<void> Clear(const DataDirectory &dir)
{
    SequentialWriter writer;
    writer.writeLine(Header);
    return writer.commit(dir.filePath(FileName));
}

} // namespace HistoryLog
