#include "core/SequentialFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <cerrno>

namespace {

bool isLineEnd(QChar c) { return c == QLatin1Char('\r') || c == QLatin1Char('\n'); }
bool isBlank(QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); }

Error fileError(int number, const QString &what, const QString &path)
{
    return Error{number, what + QStringLiteral(": ") + path};
}

QByteArray inLocaleEncoding(const QString &text)
{
    QStringEncoder encoder(QStringEncoder::System);
    return encoder.encode(text);
}

} // namespace

Result<SequentialReader> SequentialReader::open(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        return fileError(ErrorNumber::FileNotFound, QStringLiteral("File not found"), path);
    if (!file.open(QIODevice::ReadOnly))
        return fileError(ErrorNumber::PathFileAccess, QStringLiteral("Cannot read"), path);
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return fileError(ErrorNumber::DeviceIO, QStringLiteral("Read error"), path);
    return SequentialReader(decode(bytes));
}

QString SequentialReader::decode(const QByteArray &bytes)
{
    QStringDecoder locale(QStringDecoder::System, QStringDecoder::Flag::Stateless);
    QString text = locale.decode(bytes);
    if (!locale.hasError())
        return text;
    QStringDecoder shiftJis("Shift_JIS");
    if (shiftJis.isValid()) {
        text = shiftJis.decode(bytes);
        if (!shiftJis.hasError())
            return text;
    }
    return QString::fromUtf8(bytes);
}

Result<QString> SequentialReader::readField()
{
    while (!atEnd() && isBlank(m_text.at(m_pos)))
        ++m_pos;
    if (atEnd())
        return Error{ErrorNumber::InputPastEndOfFile, QStringLiteral("Input past end of file")};

    QString field;
    if (m_text.at(m_pos) == QLatin1Char('"')) {
        const qsizetype close = m_text.indexOf(QLatin1Char('"'), m_pos + 1);
        const qsizetype end = close < 0 ? m_text.size() : close;
        field = m_text.mid(m_pos + 1, end - m_pos - 1);
        m_pos = close < 0 ? m_text.size() : close + 1;
        // Whatever follows the closing quote up to the delimiter is not part of the field.
        while (!atEnd() && m_text.at(m_pos) != QLatin1Char(',') && !isLineEnd(m_text.at(m_pos)))
            ++m_pos;
    } else {
        const qsizetype start = m_pos;
        while (!atEnd() && m_text.at(m_pos) != QLatin1Char(',') && !isLineEnd(m_text.at(m_pos)))
            ++m_pos;
        field = m_text.mid(start, m_pos - start);
        while (!field.isEmpty() && isBlank(field.back()))
            field.chop(1);
    }

    // Consume the delimiter: a comma, or one line end (CR LF, CR or LF).
    if (!atEnd()) {
        const QChar c = m_text.at(m_pos++);
        if (c == QLatin1Char('\r') && !atEnd() && m_text.at(m_pos) == QLatin1Char('\n'))
            ++m_pos;
    }
    return field;
}

Result<int> SequentialReader::readInt()
{
    Result<QString> field = readField();
    if (!field)
        return field.error();
    bool isNumber = false;
    const int value = field->trimmed().toInt(&isNumber);
    return isNumber ? value : 0;
}

void SequentialWriter::writeLine(const QString &text)
{
    m_text += text + QStringLiteral("\r\n");
}

void SequentialWriter::writeQuoted(const QString &text)
{
    writeLine(QLatin1Char('"') + text + QLatin1Char('"'));
}

void SequentialWriter::writeInt(int value)
{
    writeLine(QString::number(value));
}

Result<void> SequentialWriter::commit(const QString &path) const
{
    const QString dir = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(dir))
        return fileError(ErrorNumber::PathNotFound, QStringLiteral("Cannot create folder"), dir);
    QSaveFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly))
        return fileError(errorNumberFor(errno), file.errorString(), path);
    const QByteArray data = inLocaleEncoding(m_text);
    errno = 0;
    if (file.write(data) != data.size()) {
        const int err = errno;
        file.cancelWriting();
        return fileError(errorNumberFor(err), QStringLiteral("Write error"), path);
    }
    errno = 0;
    if (!file.commit())
        return fileError(errorNumberFor(errno), QStringLiteral("Cannot save"), path);
    return {};
}
