// lyingdisk IMAGE FOLDER lie|honest: serves IMAGE as FOLDER/disk.img through
// FUSE without a page cache, so a loop device on it reaches this program on
// every read. It stores what it is given; 4 KiB blocks that begin with the
// mark come back altered when it lies, as from a fake or worn stick, while
// the file system's own blocks stay honest. FOLDER/reads counts the marked
// blocks read so far.
#define FUSE_USE_VERSION 31
#include <fuse.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

constexpr char Mark[] = "TANDEMIX-MARKED"; // 16 bytes with its NUL
constexpr off_t Block = 4096;
int backing = -1;
bool lies = false;
std::atomic<long> markedReads{0};

bool is(const char *path, const char *name) { return std::strcmp(path, name) == 0; }

int attributes(const char *path, struct stat *st, struct fuse_file_info *)
{
    *st = {};
    st->st_nlink = 1;
    if (is(path, "/"))
        st->st_mode = S_IFDIR | 0755;
    else if (is(path, "/disk.img") && ::fstat(backing, st) == 0)
        st->st_mode = S_IFREG | 0644;
    else if (is(path, "/reads"))
        st->st_mode = S_IFREG | 0444, st->st_size = 32;
    else
        return -ENOENT;
    return 0;
}

int openFile(const char *path, struct fuse_file_info *fi)
{
    fi->direct_io = 1; // each read comes here
    return is(path, "/disk.img") || is(path, "/reads") ? 0 : -ENOENT;
}

int readFile(const char *path, char *data, size_t size, off_t offset, struct fuse_file_info *)
{
    if (is(path, "/reads")) {
        const std::string text = std::to_string(markedReads.load()) + '\n';
        const size_t n = offset < off_t(text.size()) ? std::min(size, text.size() - size_t(offset)) : 0;
        std::memcpy(data, text.data() + offset, n);
        return int(n);
    }
    const ssize_t n = ::pread(backing, data, size, offset);
    for (off_t at = (offset + Block - 1) / Block * Block; n > 0 && at + off_t(sizeof Mark) < offset + n; at += Block)
        if (std::memcmp(data + (at - offset), Mark, sizeof Mark) == 0) {
            ++markedReads;
            data[at - offset + off_t(sizeof Mark)] ^= char(lies ? 0x5a : 0);
        }
    return n < 0 ? -errno : int(n);
}

int writeFile(const char *, const char *data, size_t size, off_t offset, struct fuse_file_info *)
{
    const ssize_t n = ::pwrite(backing, data, size, offset);
    return n < 0 ? -errno : int(n);
}

int sync(const char *, int, struct fuse_file_info *) { return ::fdatasync(backing) == 0 ? 0 : -errno; }

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 4 || (backing = ::open(argv[1], O_RDWR | O_CLOEXEC)) < 0) {
        std::fputs("usage: lyingdisk IMAGE FOLDER lie|honest (IMAGE readable and writable)\n", stderr);
        return 2;
    }
    lies = is(argv[3], "lie");
    struct fuse_operations operations = {};
    operations.getattr = attributes;
    operations.open = openFile;
    operations.read = readFile;
    operations.write = writeFile;
    operations.fsync = sync;
    // In the background once mounted, so the caller can use it at once.
    char *arguments[] = {argv[0], argv[2], const_cast<char *>("-s")};
    return fuse_main(3, arguments, &operations, nullptr);
}
