#pragma once

#include "runs/PlannedTree.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// Looks at the files of each folder the tree reader lists: at the source,
// for their kind, size, time and bits, and at the destination, when there
// is one, for what it holds under their names and for a killed copy's
// leftovers. That is nearly all the work of reading a tree, one call per
// file and side, so threads share it folder by folder: a few of its own,
// and the reader's, which takes a folder whenever several wait and helps
// once the listing is done.
class FolderLooks {
public:
    // A file's outcome: 0 where it is to be copied, Skipped where it is
    // gone or no longer a file or link, else the errno of the look at it.
    static constexpr int Skipped = -1;
    struct Look {
        PlannedFolder *folder;
        const Look *parent; // nullptr for the top
        // "" for the top, else "/a/b", until looked at; none where too long
        // for a path to name.
        std::optional<std::string> relativePath;
        Fd source;                // open until its files are looked at
        std::vector<int> outcomes; // one per file of the folder
    };

    // destinationFd: the folder the copy writes into as it is before the
    // copy, borrowed until finish(); -1 where there is none to look at.
    explicit FolderLooks(int destinationFd);
    ~FolderLooks();
    FolderLooks(const FolderLooks &) = delete;
    FolderLooks &operator=(const FolderLooks &) = delete;

    // folder, open as source, holds the files listed (their names); it
    // stays where it is until finish() returns, and so does the look returned.
    const Look &listed(PlannedFolder &folder, const Look *parent, Fd source,
                       std::optional<std::string> relativePath);
    // Returns once every listed folder has been looked at.
    void finish();
    // The looks in the order the folders were listed; complete after finish().
    std::deque<Look> &looks() { return m_looks; }

private:
    void lookAtFolders();
    Look *take(std::unique_lock<std::mutex> &lock);
    void lookAt(Look &look) const;
    void lookAtDestination(Look &look) const;
    void stopThread();

    const int m_destinationFd;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Look> m_looks; // references stay valid as it grows
    size_t m_taken = 0;       // looks begun, the first ones
    bool m_finishing = false;
    std::vector<std::thread> m_threads;
};
