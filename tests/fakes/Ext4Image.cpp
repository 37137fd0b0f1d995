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

#ifdef TX_LYINGDISK
const QString DiskProgram = QStringLiteral(TX_LYINGDISK);
#else
const QString DiskProgram; // not built: the tests that need it skip
#endif

constexpr int Block = 4096;

} // namespace

Ext4Image::Ext4Image(const QString &folder, Device device)
    : m_image(folder + QStringLiteral("/ext4.img")), m_mountPoint(folder + QStringLiteral("/ext4"))
{
    QDir().mkpath(m_mountPoint);
    QFile image(m_image);
    // 5 % of the blocks stay reserved for root, as mkfs.ext4 makes them.
    QStringList format{QStringLiteral("-q"), QStringLiteral("-m"), QStringLiteral("5")};
    QString device_ = m_image;
    if (device != Device::Plain) {
        // Whole blocks on whole blocks of the disk, so a marked block of a
        // file is one the disk program sees; no journal reads its copies.
        format << QStringLiteral("-b") << QString::number(Block) << QStringLiteral("-O") << QStringLiteral("^has_journal");
        m_served = folder + QStringLiteral("/served");
        device_ = m_served + QStringLiteral("/disk.img");
    }
    if (!image.open(QIODevice::WriteOnly) || !image.resize(16 * 1024 * 1024)
        || !run(QStringLiteral("mkfs.ext4"), format << m_image))
        return;
    if (!m_served.isEmpty()) {
        QDir().mkpath(m_served);
        if (DiskProgram.isEmpty()
            || !run(DiskProgram, {m_image, m_served, device == Device::Lying ? QStringLiteral("lie") : QStringLiteral("honest")})) {
            m_served.clear();
            return;
        }
    }
    m_mounted = run(QStringLiteral("mount"), {QStringLiteral("-o"), QStringLiteral("loop"), device_, m_mountPoint});
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
    for (int i = 0; i < blocks; ++i) {
        QByteArray block = QByteArray("TANDEMIX-MARKED", 16); // with its NUL, as the disk looks for it
        block += QByteArray::number(i);
        block.append(Block - block.size(), char('a' + i % 26));
        content += block;
    }
    return content;
}
