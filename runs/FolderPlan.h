#pragma once

#include "runs/PlannedTree.h"

#include <set>
#include <string>
#include <vector>

// The whole tree below a folder, read before anything is written: it gives
// the totals up front and the identities of the source folders, so a copy
// can refuse to write into its own source.
struct FolderPlan {
    PlannedFolder root;
    qint64 files = 0;
    qint64 bytes = 0;
    std::set<FolderId> folderIds;
    // The paths of the entries the source would not let be read or listed:
    // left out of the plan, the rest is copied.
    std::vector<std::string> unreadable;

    // Reads the tree of the open folder dirFd whose path is path (for
    // errors). Symbolic links are listed, never followed; sockets, FIFOs,
    // devices are left out. Given the open folder a copy will write into
    // (destinationFd), each file's atDestination and each folder's
    // leftovers tell what it holds.
    static Result<FolderPlan> read(int dirFd, const std::string &path, int destinationFd = -1);
};
