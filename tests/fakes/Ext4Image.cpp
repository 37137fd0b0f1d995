#include "fakes/Ext4Image.h"

#include "fakes/Trees.h"

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

constexpr int Block = 4096;

} // namespace

Ext4Image::Ext4Image(const QString &folder, Device device, Format format)
    : m_image(folder + QStringLiteral("/ext4.img")), m_mountPoint(folder + QStringLiteral("/ext4"))
{
    QDir().mkpath(m_mountPoint);
    QFile image(m_image);
    // 5 % of the blocks stay reserved for root, as mkfs.ext4 makes them.
    // Through the disk program: a file's marked block is one block of the
    // disk, and no journal reads copies of it.
    const QStringList options = device == Device::Plain ? QStringList{}
                                   : QStringList{QStringLiteral("-b4096"), QStringLiteral("-O^has_journal")};
    const bool plain = device == Device::Plain;
    const bool exfat = format == Format::ExfatFuse;
    const bool vfat = format == Format::Vfat && plain;
    // FAT32 needs 65,525 clusters: 40 MiB at the 512 bytes mkfs.vfat picks.
    const QString mkfs = exfat ? QStringLiteral("mkfs.exfat") : vfat ? QStringLiteral("mkfs.vfat") : QStringLiteral("mkfs.ext4");
    const QStringList mkfsOptions = exfat ? QStringList{}
                                    : vfat ? QStringList{QStringLiteral("-F32")}
                                           : options + QStringList{QStringLiteral("-q"), QStringLiteral("-m5")};
    if (!image.open(QIODevice::WriteOnly) || !image.resize((vfat ? 40 : 16) * 1024 * 1024)
        || !run(mkfs, mkfsOptions + QStringList{m_image}))
        return;
#ifdef TX_LYINGDISK // else the disk program was not built, and such a test skips
    if (device != Device::Plain) {
        m_served = folder + QStringLiteral("/served");
        QDir().mkpath(m_served);
        const QString how = device == Device::Lying ? QStringLiteral("lie") : QStringLiteral("honest");
        if (!run(QStringLiteral(TX_LYINGDISK), {m_image, m_served, how}))
            m_served.clear();
    }
#endif
    if (device == Device::Plain || !m_served.isEmpty())
        m_mounted = run(QStringLiteral("mount"), {QStringLiteral("-t"), exfat ? QStringLiteral("exfat-fuse") : vfat ? QStringLiteral("vfat") : QStringLiteral("ext4"),
                                                  QStringLiteral("-o"), vfat ? QStringLiteral("loop,utf8,shortname=mixed,flush") : QStringLiteral("loop"),
                                                  m_served.isEmpty() ? m_image : m_served + QStringLiteral("/disk.img"), m_mountPoint});
}

Ext4Image::~Ext4Image()
{
    // The loop device goes with the mount; the disk program with its own.
    if (m_mounted)
        run(QStringLiteral("umount"), {m_mountPoint});
    if (!m_served.isEmpty())
        run(QStringLiteral("umount"), {m_served});
}

qint64 Ext4Image::markedReads() const
{
    return Trees::readFile(m_served + QStringLiteral("/reads")).trimmed().toLongLong();
}

QByteArray Ext4Image::marked(int blocks)
{
    QByteArray content;
    for (int i = 0; i < blocks; ++i) // the mark with its NUL, as the disk looks for it
        content += (QByteArray("TANDEMIX-MARKED", 16) + QByteArray::number(i)).leftJustified(Block, char('a' + i % 26));
    return content;
}
