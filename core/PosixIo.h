#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QString>

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <utility>

// Small helpers for the copy engine, which works on native byte paths and
// descriptors so that a tree of many small files costs no more system
// calls than it must.

// An owned file descriptor, closed when it goes.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    Fd(Fd &&other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    Fd &operator=(Fd &&other) noexcept;
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    ~Fd();

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // Closes now and returns the errno of a failed close (0 when it went
    // well): a delayed write error can show up only here.
    int close();

private:
    int m_fd = -1;
};

// Opens a folder inside a tree being read or written: a link standing where
// the folder should be is never followed, so a copy stays inside its tree.
constexpr int OpenFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Opens a folder the user named, for reading (a refusal is the source's,
// 75). Unlike the folders inside it, it may be reached through links, as
// the user typed it.
Result<Fd> openFolder(const std::string &path);

// Identity of a folder on the machine, to tell whether two paths meet.
struct FolderId {
    dev_t device = 0;
    ino_t inode = 0;
    static FolderId of(const struct stat &st) { return FolderId{st.st_dev, st.st_ino}; }
    friend bool operator==(const FolderId &, const FolderId &) = default;
    friend auto operator<=>(const FolderId &, const FolderId &) = default;
};

// The native bytes of a path, collapsed separators ("a//b" is "a/b") and
// no trailing separator, or the error the path deserves: 76 for an empty
// or relative path (it names no folder the user can mean), 75 for text
// that cannot be a file name (NUL, unreadable characters).
Result<std::string> nativePath(const QString &path);

// The text of native bytes, for messages and the progress window.
QString displayPath(const std::string &path);

// The program's error for a failed system call on path, on side of a copy.
Error errorFromErrno(int err, const std::string &path, Side side = Side::Destination);

// Error with the given number and a description naming path.
Error errorAt(int number, const QString &what, const std::string &path);

// The folder holding path and its last element ("/a/b" gives "/a", "b";
// "/b" gives "/", "b"; "/" gives "/", "").
std::pair<std::string, std::string> splitLast(const std::string &path);

// Seconds and nanoseconds compared apart: a count of nanoseconds
// overflows past 2262.
inline bool sameInstant(const struct timespec &a, const struct timespec &b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Gives the open file fd the modified time modified, its access time kept;
// 0, or an errno. The access time is passed, not left out: exfat-fuse
// ignores a change that leaves it out (UTIME_OMIT) and still returns 0.
int setModifiedTime(int fd, const struct timespec &modified);

// Writes all size bytes of data to fd, however many calls that takes;
// 0, or the errno of the write that failed.
int writeAll(int fd, const char *data, size_t size);

// Makes something new (a file, a folder, a link) under a fresh name:
// create(name) makes it and gives 0 or an errno; while the name is taken
// (EEXIST) the next one nextName() gives is tried, up to 100 of them.
struct FreshlyNamed {
    std::string name; // the last name tried: the one made when err is 0
    int err = 0;
};
template <typename NextName, typename Create>
FreshlyNamed createFreshlyNamed(NextName nextName, Create create)
{
    FreshlyNamed made;
    for (int attempt = 0; attempt < 100; ++attempt) {
        made.name = nextName();
        made.err = create(made.name.c_str());
        if (made.err != EEXIST)
            break;
    }
    return made;
}

// Raises the soft limit of open descriptors to the hard limit, so a tree
// with very many or very deep folders is not stopped by a desktop's
// usual soft limit of 1024.
void raiseDescriptorLimit();

// What the system's mount table says of the file system on device: its
// type ("ext4", "fuseblk") and its source ("/dev/sdb1"); both empty where
// no mount of it is listed.
struct MountSource {
    QByteArray type;
    QByteArray source;
};
MountSource mountOf(dev_t device);
