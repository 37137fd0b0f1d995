#pragma once

#include "core/PosixIo.h"

#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

// The folder a walk down a tree has reached, open, and the way back up.
// However deep the tree, only the nearest levels stay open, so a deep tree
// never runs out of descriptors: a folder further up is closed on the way
// down and reopened through ".." on the way back, where it must prove to be
// the same folder. Folders are entered by name, never through a link.
class FolderWalk {
public:
    FolderWalk() = default;
    // Starts at the open folder root, which the caller keeps open.
    explicit FolderWalk(int root) : m_root(root) {}

    int fd() const { return m_levels.empty() ? m_root : m_levels.back().fd.get(); }
    bool atStart() const { return m_levels.empty(); }
    // Back to the folder the walk started at.
    void restart() { m_levels.clear(); }

    // Opens the subfolder name of the current folder and makes it current;
    // 0, or the errno of the failed open (ELOOP or ENOTDIR where a link or
    // a file stands). st receives the folder's status.
    int enter(const std::string &name, struct stat &st);
    // Makes the parent current again; 0, or an errno (ESTALE when the folder
    // found there is not the one left, the tree having been moved meanwhile).
    int leave();
    // As leave(), and ESTALE too where the parent no longer holds the folder
    // left as name: it was moved or renamed meanwhile.
    int leave(const std::string &name);
    // 0 where each folder the walk holds open still stands under its own
    // name in the open folder above it, else ESTALE: the walk's folder was
    // moved or renamed meanwhile. path is the walk's path, its last part
    // the current folder's name.
    int stillInPlace(std::string_view path) const;

private:
    struct Level {
        Fd fd;
        FolderId id;
    };
    int reopen(Level &parent) const;

    int m_root = -1;
    std::vector<Level> m_levels; // below the root, the deepest last
};

// Removes the folder name, in the folder walk stands in, with all it holds,
// never following a link; 0, or the errno of what could not be removed.
// bytes, when given, grows by the sizes of the files removed.
int removeTree(FolderWalk &walk, const std::string &name, qint64 *bytes = nullptr);
