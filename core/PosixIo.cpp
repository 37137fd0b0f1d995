#include "core/PosixIo.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/resource.h>
#include <sys/sysmacros.h>
#include <unistd.h>

Fd &Fd::operator=(Fd &&other) noexcept
{
    if (this != &other) {
        close();
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

Fd::~Fd()
{
    close();
}

int Fd::close()
{
    if (m_fd < 0)
        return 0;
    const int result = ::close(std::exchange(m_fd, -1));
    // EINTR still closed the descriptor; only real write-back errors count.
    return result == 0 || errno == EINTR ? 0 : errno;
}

Result<Fd> openFolder(const std::string &path)
{
    Fd fd(::open(path.c_str(), OpenFolderFlags & ~O_NOFOLLOW));
    if (!fd.valid())
        return errorFromErrno(errno, path, Side::Source);
    return fd;
}

Result<std::string> nativePath(const QString &path)
{
    if (path.isEmpty() || !path.startsWith(QLatin1Char('/')))
        return errorAt(ErrorNumber::PathNotFound, "Path not found (not an absolute path)",
                       path.toStdString());
    // A NUL would cut the path short and name another folder; U+FFFD and
    // broken surrogates are what is left of bytes that were not text.
    if (path.contains(QChar(0)) || path.contains(QChar::ReplacementCharacter)
        || !path.isValidUtf16())
        return errorAt(ErrorNumber::PathFileAccess, "Path/File access error (not a file name)",
                       path.toStdString());

    const QByteArray bytes = QFile::encodeName(path);
    std::string result;
    result.reserve(size_t(bytes.size()));
    for (const char c : bytes)
        if (c != '/' || result.empty() || result.back() != '/')
            result += c;
    if (result.size() > 1 && result.back() == '/')
        result.pop_back();
    return result;
}

QString displayPath(const std::string &path)
{
    return QFile::decodeName(QByteArray::fromRawData(path.data(), qsizetype(path.size())));
}

Error errorAt(int number, const QString &what, const std::string &path)
{
    return Error{number, what + QStringLiteral(": ") + displayPath(path)};
}

Error errorFromErrno(int err, const std::string &path, Side side)
{
    return errorAt(errorNumberFor(err, side), std::strerror(err), path);
}

std::pair<std::string, std::string> splitLast(const std::string &path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {std::string(), path};
    return {slash == 0 ? std::string("/") : path.substr(0, slash), path.substr(slash + 1)};
}

int writeAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t put = ::write(fd, data, size);
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0)
            return errno;
        data += put;
        size -= size_t(put);
    }
    return 0;
}

void raiseDescriptorLimit()
{
    struct rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        (void)::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

int setModifiedTime(int fd, const struct timespec &modified)
{
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return errno;
    const struct timespec times[2] = {st.st_atim, modified};
    return ::futimens(fd, times) == 0 ? 0 : errno;
}

MountSource mountOf(dev_t device)
{
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    if (!table.open(QIODevice::ReadOnly))
        return {};
    const QByteArray number = QByteArray::number(major(device)) + ':' + QByteArray::number(minor(device));
    for (const QByteArray &line : table.readAll().split('\n')) {
        // "id parent major:minor root point options [tags] - type source options"
        const QList<QByteArray> fields = line.split(' ');
        const qsizetype dash = fields.indexOf("-");
        if (fields.size() > 2 && fields[2] == number && dash > 0 && dash + 1 < fields.size())
            return {fields[dash + 1], fields.value(dash + 2)};
    }
    return {};
}
