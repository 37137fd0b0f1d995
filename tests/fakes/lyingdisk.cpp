// lyingdisk IMAGE FOLDER lie|honest: serves the file IMAGE as FOLDER/disk.img
// through FUSE, uncached, so that a loop device on it reaches this program
// on every read. It stores what it is given. Blocks of 4 KiB that begin
// with the mark come back altered when it lies, as a fake or worn stick
// hands back other bytes than it took; the file system's own blocks stay
// honest. FOLDER/reads counts the marked blocks read so far.

#define FUSE_USE_VERSION 31
#include <fuse.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char Mark[] = "TANDEMIX-MARKED"; // 16 bytes with its NUL, as the tests write it
constexpr off_t Block = 4096;
constexpr char Image[] = "/disk.img";
constexpr char Reads[] = "/reads";

int backing = -1;
bool lies = false;
std::atomic<long> markedReads{0};

int getAttributes(const char *path, struct stat *st, struct fuse_file_info *)
{
    std::memset(st, 0, sizeof *st);
    if (std::strcmp(path, "/") == 0) {
        st->st_mode = S_IFDIR | 0755;
        st->st_nlink = 2;
        return 0;
    }
    struct stat image;
    if (std::strcmp(path, Image) == 0 && ::fstat(backing, &image) == 0) {
        st->st_mode = S_IFREG | 0644;
        st->st_size = image.st_size;
    } else if (std::strcmp(path, Reads) == 0) {
        st->st_mode = S_IFREG | 0444;
        st->st_size = 32;
    } else {
        return -ENOENT;
    }
    st->st_nlink = 1;
    return 0;
}

int readFolder(const char *, void *buffer, fuse_fill_dir_t fill, off_t, struct fuse_file_info *,
               enum fuse_readdir_flags)
{
    for (const char *name : {".", "..", Image + 1, Reads + 1})
        fill(buffer, name, nullptr, 0, fuse_fill_dir_flags(0));
    return 0;
}

int openFile(const char *path, struct fuse_file_info *fi)
{
    if (std::strcmp(path, Image) != 0 && std::strcmp(path, Reads) != 0)
        return -ENOENT;
    fi->direct_io = 1; // no page cache here: each read comes to this program
    return 0;
}

int readFile(const char *path, char *data, size_t size, off_t offset, struct fuse_file_info *)
{
    if (std::strcmp(path, Reads) == 0) {
        char text[33];
        const int length = std::snprintf(text, sizeof text, "%ld\n", markedReads.load());
        if (offset >= length)
            return 0;
        const size_t n = std::min(size, size_t(length - offset));
        std::memcpy(data, text + offset, n);
        return int(n);
    }
    const ssize_t n = ::pread(backing, data, size, offset);
    if (n < 0)
        return -errno;
    for (off_t at = (offset + Block - 1) / Block * Block; at + off_t(sizeof Mark) <= offset + n; at += Block) {
        char *block = data + (at - offset);
        if (std::memcmp(block, Mark, sizeof Mark) != 0)
            continue;
        ++markedReads;
        if (lies)
            block[sizeof Mark] ^= 0x5a;
    }
    return int(n);
}

int writeFile(const char *, const char *data, size_t size, off_t offset, struct fuse_file_info *)
{
    const ssize_t n = ::pwrite(backing, data, size, offset);
    return n < 0 ? -errno : int(n);
}

int flush(const char *, struct fuse_file_info *)
{
    return ::fdatasync(backing) == 0 ? 0 : -errno;
}

int sync(const char *path, int, struct fuse_file_info *fi)
{
    return flush(path, fi);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 4 || (std::strcmp(argv[3], "lie") != 0 && std::strcmp(argv[3], "honest") != 0)) {
        std::fputs("usage: lyingdisk IMAGE FOLDER lie|honest\n", stderr);
        return 2;
    }
    backing = ::open(argv[1], O_RDWR | O_CLOEXEC);
    if (backing < 0) {
        std::perror(argv[1]);
        return 1;
    }
    lies = std::strcmp(argv[3], "lie") == 0;
    struct fuse_operations operations = {};
    operations.getattr = getAttributes;
    operations.readdir = readFolder;
    operations.open = openFile;
    operations.read = readFile;
    operations.write = writeFile;
    operations.flush = flush;
    operations.fsync = sync;
    // Goes to the background once mounted, so the caller can use it at once.
    char *arguments[] = {argv[0], argv[2], const_cast<char *>("-s")};
    return fuse_main(3, arguments, &operations, nullptr);
}
