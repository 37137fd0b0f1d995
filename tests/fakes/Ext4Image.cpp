#include "fakes/Ext4Image.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace {

bool run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit
           && process.exitCode() == 0;
}

} // namespace

Ext4Image::Ext4Image(const QString &folder, Format format)
    : m_image(folder + QStringLiteral("/disk.img")), m_mountPoint(folder + QStringLiteral("/disk"))
{
    QDir().mkpath(m_mountPoint);
    QFile image(m_image);
    const bool ext4 = format == Format::Ext4;
    // 5 % of the blocks stay reserved for root, as mkfs.ext4 makes them.
    m_mounted = image.open(QIODevice::WriteOnly) && image.resize(16 * 1024 * 1024)
                && (ext4 ? run(QStringLiteral("mkfs.ext4"), {QStringLiteral("-q"), QStringLiteral("-m"), QStringLiteral("5"), m_image})
                         : run(QStringLiteral("mkfs.exfat"), {m_image}))
                && run(QStringLiteral("mount"), {QStringLiteral("-t"), ext4 ? QStringLiteral("ext4") : QStringLiteral("exfat-fuse"),
                                                 QStringLiteral("-o"), QStringLiteral("loop"), m_image, m_mountPoint});
}

Ext4Image::~Ext4Image()
{
    if (m_mounted)
        run(QStringLiteral("umount"), {m_mountPoint});
}
