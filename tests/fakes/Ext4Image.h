#pragma once

#include <QString>

// A small ext4 file system in an image file, loop-mounted while the object
// lives: the honest test of what a real disk does (reserved blocks, data
// that reaches the device only when flushed). Or exFAT through exfat-fuse,
// as a desktop mounts a stick. Mounting needs root; where it is refused,
// mounted() is false and the test skips.
class Ext4Image {
public:
    enum class Format { Ext4, ExfatFuse };
    // Makes the image and its mount point inside folder.
    explicit Ext4Image(const QString &folder, Format format = Format::Ext4);
    ~Ext4Image();
    Ext4Image(const Ext4Image &) = delete;
    Ext4Image &operator=(const Ext4Image &) = delete;

    bool mounted() const { return m_mounted; }
    QString mountPoint() const { return m_mountPoint; }
    QString imagePath() const { return m_image; }

private:
    QString m_image;
    QString m_mountPoint;
    bool m_mounted = false;
};
