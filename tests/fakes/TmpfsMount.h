#pragma once

#include <QString>

// A tmpfs mounted on a folder (made if missing) for the lifetime of this
// object, unmounted however the test ends. Mounting needs root; where it is
// refused, mounted() is false and the test skips.
class TmpfsMount {
public:
    TmpfsMount(const QString &folder, const char *options);
    ~TmpfsMount();
    TmpfsMount(const TmpfsMount &) = delete;
    TmpfsMount &operator=(const TmpfsMount &) = delete;

    bool mounted() const { return m_mounted; }
    // Takes every free block, so the next write of data meets a full disk.
    void fill() const;
    // From now on nothing can be written, as on a write-protected card.
    void remountReadOnly() const;
    // Unmounts before the object goes; false when the kernel refused.
    bool unmount();

private:
    QString m_folder;
    bool m_mounted = false;
};
