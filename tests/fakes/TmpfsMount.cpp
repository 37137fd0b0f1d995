#include "fakes/TmpfsMount.h"

#include "fakes/Trees.h"

#include <QFile>

#include <sys/mount.h>

TmpfsMount::TmpfsMount(const QString &folder, const char *options) : m_folder(folder)
{
    Trees::makeFolder(folder);
    m_mounted = ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, options) == 0;
}

TmpfsMount::~TmpfsMount()
{
    if (m_mounted)
        ::umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH);
}
