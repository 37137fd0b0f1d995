#include "core/Result.h"

#include <cerrno>

int errorNumberFor(int err, Side side)
{
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        return ErrorNumber::PathNotFound;
    case EEXIST:
        return ErrorNumber::FileAlreadyExists;
    case EACCES:
    case EPERM:
        return side == Side::Source ? ErrorNumber::PathFileAccess : ErrorNumber::PermissionDenied;
    case EROFS:
        return ErrorNumber::PermissionDenied;
    case ENOSPC:
    case EDQUOT:
    // A file over 4 GiB on a FAT stick: the disk cannot take it, which the
    // user meets as a full disk, not as a broken path.
    case EFBIG:
        return ErrorNumber::DiskFull;
    case EIO:
        return ErrorNumber::DeviceIO;
    // The stick was pulled out or the card reader emptied mid-write.
    case ENXIO:
    case ENODEV:
    case ENOMEDIUM:
        return ErrorNumber::DiskNotReady;
    default:
        return ErrorNumber::PathFileAccess;
    }
}
