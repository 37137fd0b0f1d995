#include "core/SequentialFile.h"

#include "core/PosixIo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <QStringEncoder>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isLineEnd(QChar c) { return c == QLatin1Char('\r') || c == QLatin1Char('\n'); }
bool isBlank(QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); }

QByteArray inLocaleEncoding(const QString &text)
{
    QStringEncoder encoder(QStringEncoder::System);
    return encoder.encode(text);
}

// A data file that is missing reads as 53; other failures keep their number.
Error openError(int err, const std::string &path)
{
    if (err == ENOENT || err == ENOTDIR)
        return errorAt(ErrorNumber::FileNotFound, "File not found", path);
    return errorFromErrno(err, path);
}

Error notADataFile(const std::string &path)
{
    return errorAt(ErrorNumber::PathFileAccess, "Not a data file (not a regular file, or too large)", path);
}

bool isDataFile(const struct stat &st)
{
    return S_ISREG(st.st_mode) && st.st_size <= SequentialReader::MaxBytes;
}

// The whole file, or an error when it is longer than a data file can be.
Result<QByteArray> readWhole(int fd, const std::string &path)
{
    QByteArray bytes;
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return errorAt(ErrorNumber::DeviceIO, "Read error", path);
        if (got == 0)
            return bytes;
        bytes.append(buffer, got);
        if (bytes.size() > SequentialReader::MaxBytes) // grew while being read
            return notADataFile(path);
    }
}

// Writes every byte and flushes them to the device; any shortfall is an error.
Result<void> writeAndFlush(int fd, const QByteArray &data, const std::string &path)
{
    if (const int err = writeAll(fd, data.constData(), size_t(data.size())))
        return errorFromErrno(err, path);
    if (::fsync(fd) != 0)
        return errorFromErrno(errno, path);
    return {};
}

// Creates a new, empty file beside target under a name no one else uses.
Result<std::pair<Fd, std::string>> createTemporary(const std::string &target)
{
    const auto [folder, name] = splitLast(target);
    Fd fd;
    FreshlyNamed made = createFreshlyNamed(
        [&] {
            return (folder.empty() ? std::string() : folder + '/') + '.' + name + '.'
                   + std::to_string(QRandomGenerator::global()->generate64()) + ".tmp";
        },
        [&](const char *temporary) {
            fd = Fd(::open(temporary, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
            return fd.valid() ? 0 : errno;
        });
    if (made.err)
        return errorFromErrno(made.err, made.name);
    return std::pair{std::move(fd), std::move(made.name)};
}

// What the temporary must become: the file itself, or what a link at its
// name points to, so a data file kept elsewhere through a link stays there.
std::string finalTarget(const QString &path)
{
    const QFileInfo info(path);
    const QString resolved = info.isSymLink() ? info.canonicalFilePath() : QString();
    return QFile::encodeName(resolved.isEmpty() ? path : resolved).toStdString();
}

} // namespace

Result<SequentialReader> SequentialReader::open(const QString &path)
{
    const std::string name = QFile::encodeName(path).toStdString();
    // Checked before the open, which a FIFO would block, and again on what
    // was opened, in case the name changed kind in between.
    struct stat st {};
    if (::stat(name.c_str(), &st) != 0)
        return openError(errno, name);
    if (!isDataFile(st))
        return notADataFile(name);
    Fd fd(::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.valid())
        return openError(errno, name);
    if (::fstat(fd.get(), &st) != 0 || !isDataFile(st))
        return notADataFile(name);
    Result<QByteArray> bytes = readWhole(fd.get(), name);
    if (!bytes)
        return bytes.error();
    return SequentialReader(decode(*bytes));
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
        return errorAt(ErrorNumber::PathNotFound, "Cannot create folder", QFile::encodeName(dir).toStdString());
    const std::string target = finalTarget(path);
    Result<std::pair<Fd, std::string>> created = createTemporary(target);
    if (!created)
        return created.error();
    auto &[fd, temporary] = created.value();
    // A replaced file keeps its permission bits.
    struct stat old {};
    if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode))
        ::fchmod(fd.get(), old.st_mode & 07777);
    Result<void> written = writeAndFlush(fd.get(), inLocaleEncoding(m_text), temporary);
    if (written) {
        if (const int err = fd.close())
            written = errorFromErrno(err, temporary);
        else if (::rename(temporary.c_str(), target.c_str()) != 0)
            written = errorFromErrno(errno, target);
    }
    if (!written)
        ::unlink(temporary.c_str());
    return written;
}

Result<void> SequentialWriter::append(const QString &path) const
{
    const std::string name = QFile::encodeName(path).toStdString();
    Fd fd(::open(name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666));
    if (!fd.valid())
        return errorFromErrno(errno, name);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return notADataFile(name);
    Result<void> written = writeAndFlush(fd.get(), inLocaleEncoding(m_text), name);
    if (!written) {
        // Back to the old length, so the file is as it was.
        if (::ftruncate(fd.get(), st.st_size) != 0)
            return errorFromErrno(errno, name);
        return written;
    }
    if (const int err = fd.close())
        return errorFromErrno(err, name);
    return {};
}
