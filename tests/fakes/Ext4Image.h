#pragma once

#include <QByteArray>
#include <QString>

// A small ext4 file system in an image file, loop-mounted while the object
// lives: the honest test of what a real disk does (reserved blocks, data
// that reaches the device only when flushed). Or exFAT through exfat-fuse,
// as a desktop mounts a stick, or FAT32 through the kernel's vfat (which
// only the kernel under tests/fakes/in_uml.sh has). Mounting needs root;
// where it is refused, mounted() is false and the test skips.
class Ext4Image {
public:
    // Plain: the loop device reads the image itself. Honest and Lying: it
    // reads the image through the test's disk program, without a journal,
    // which counts the marked blocks read from it; Lying hands them back
    // altered.
    enum class Device { Plain, Honest, Lying };

    // ExfatFuse: exFAT, mounted through exfat-fuse, on any device; Vfat:
    // FAT32 mounted with the options a desktop gives a stick, on a Plain one.
    enum class Format { Ext4, ExfatFuse, Vfat };

    // Makes the image and its mount point inside folder.
    explicit Ext4Image(const QString &folder, Device device = Device::Plain, Format format = Format::Ext4);
    ~Ext4Image();
    Ext4Image(const Ext4Image &) = delete;
    Ext4Image &operator=(const Ext4Image &) = delete;

    bool mounted() const { return m_mounted; }
    QString mountPoint() const { return m_mountPoint; }
    QString imagePath() const { return m_image; }
    // Marked blocks the disk program has handed out.
    qint64 markedReads() const;
    // Content of whole 4 KiB blocks, each beginning with the mark.
    static QByteArray marked(int blocks);

private:
    QString m_image;
    QString m_mountPoint;
    QString m_served; // where the disk program serves the image, when it does
    bool m_mounted = false;
};
