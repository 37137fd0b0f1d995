#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QString>

// Reads the program's small data files field by field: a field ends at a
// comma or a line end; a field that begins with a double quote runs to the
// next double quote and comes without the quotes. Bytes that are not valid
// in the locale's encoding are read as Shift-JIS, so files written on
// Japanese Windows systems load.
class SequentialReader {
public:
    // No data file of this program comes near this size; a bigger one is
    // not ours, and reading it whole could exhaust memory.
    static constexpr qint64 MaxBytes = 8 * 1024 * 1024;

    // 53 when the file does not exist. Anything but a regular file of at
    // most MaxBytes is refused with 75 without reading it: a FIFO would
    // block, a device such as /dev/zero never ends. 57 on a read error.
    static Result<SequentialReader> open(const QString &path);
    // Over text already in memory.
    explicit SequentialReader(QString text) : m_text(std::move(text)) {}

    bool atEnd() const { return m_pos >= m_text.size(); }
    // 62 when the end of the file comes before the field.
    Result<QString> readField();
    // A field that is not a number reads as 0.
    Result<int> readInt();

    static QString decode(const QByteArray &bytes);

private:
    QString m_text;
    qsizetype m_pos = 0;
};

// Builds a data file in memory and writes it whole or not at all: a write
// that cannot complete is reported and leaves the old file byte for byte.
// Lines end with CR LF; the text is written in the locale's encoding.
class SequentialWriter {
public:
    void writeLine(const QString &text);       // the text as it stands
    void writeQuoted(const QString &text);     // "text", nothing escaped
    void writeInt(int value);                  // decimal, no blanks
    // Replaces the file (through a symbolic link, its target) by a
    // temporary written, flushed and closed beside it. Creates the folder
    // when missing. 76 for a folder that cannot be made, else the number of
    // the failed call (70 writing refused, 61 disk full).
    Result<void> commit(const QString &path) const;
    // Adds the text to the end of a regular file, creating it when missing;
    // a failed write cuts the file back to its old length.
    Result<void> append(const QString &path) const;

private:
    QString m_text;
};
