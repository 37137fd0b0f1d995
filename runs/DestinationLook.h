#pragma once

#include "runs/FolderPlan.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Looks, on a second thread, at what the destination folder holds under
// the name of each file the plan lists, and at the temporaries a killed
// copy left there, while the plan is still being read. A repeat run mostly
// compares: its two looks per file, at the source and at the destination,
// then take turns on two cores.
class DestinationLook {
public:
    // destinationFd: the destination folder as it is before the copy,
    // borrowed until finish().
    explicit DestinationLook(int destinationFd);
    ~DestinationLook();
    DestinationLook(const DestinationLook &) = delete;
    DestinationLook &operator=(const DestinationLook &) = delete;

    // The source folder at relativePath ("" for the top, else "/a/b") is
    // listed in folder, which stays where it is until finish() returns.
    void listed(PlannedFolder &folder, const std::string &relativePath);
    // Returns once every listed file has been looked at.
    void finish();

private:
    struct Folder {
        PlannedFolder *folder;
        std::string relativePath;
    };
    void lookAtFolders();
    void lookAt(const Folder &folder) const;

    const int m_destinationFd;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Folder> m_waiting;
    bool m_finishing = false;
    std::thread m_thread;
};
