#include "fakes/TmpfsMount.h"

#include "fakes/Trees.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

TmpfsMount::TmpfsMount(const QString &folder, const char *options) : m_folder(folder)
{
    Trees::makeFolder(folder);
    m_mounted = ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, options) == 0;
}

TmpfsMount::~TmpfsMount()
{
    unmount();
}

bool TmpfsMount::unmount()
{
    const bool unmounted = m_mounted && ::umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH) == 0;
    m_mounted = false;
    return unmounted;
}

void TmpfsMount::remountReadOnly() const
{
    if (::mount("tmpfs", QFile::encodeName(m_folder).constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) != 0)
        qFatal("cannot remount %s read-only", qPrintable(m_folder));
}

void TmpfsMount::fill() const
{
    const QByteArray filler = QFile::encodeName(m_folder + QStringLiteral("/filler"));
    const int fd = ::open(filler.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        qFatal("cannot create %s", filler.constData());
    const QByteArray block(4096, 'f');
    while (::write(fd, block.constData(), size_t(block.size())) > 0) {
    }
    const int err = errno;
    ::close(fd);
    if (err != ENOSPC)
        qFatal("filling %s did not end in a full disk", filler.constData());
}
