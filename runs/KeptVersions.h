#pragma once

#include "core/PosixIo.h"

#include <QtGlobal>

#include <string>
#include <sys/types.h>
#include <vector>

// Where a copy keeps what it would otherwise destroy in its destination (a
// file replaced, a folder or file in the way of a kind change): moved, by a
// rename within the destination's file system, to
// <parent of the copy>/.tandemix-versions/<copy name>/<stamp>/<path inside the copy>.
// A rename is cheap and works on FAT, which holds no hard links. The
// versions folder lies beside the copy, never in it, so a restore of the
// copy never brings versions back. Each run that keeps anything has a stamp
// folder of its own (its start, "YYYY-MM-DD HHMMSS": FAT refuses colons);
// only those of the last few runs stay, the oldest going first.
class KeptVersions {
public:
    static constexpr const char *FolderName = ".tandemix-versions";

    // parentFd: the folder holding the copy, named copyName in it; keep: how
    // many runs' stamp folders stay, this one counted once it keeps anything.
    KeptVersions(int parentFd, const std::string &copyName, const std::string &stamp, int keep);

    // Removes the stamp folders of all but the last keep runs.
    void removeOld();
    // Moves the entry name of the folder dirFd, found at inside (its path in
    // the copy), into this run's stamp folder; 0, or the errno why it stays
    // where it is (EXDEV: another file system is mounted there).
    int keep(int dirFd, const std::string &name, const std::string &inside);
    // Removes the oldest stamp folder left, to make room on a full
    // destination; false when none is left.
    bool removeOldest();
    // The bytes of the files of the stamp folders removed so far.
    qint64 bytesRemoved() const { return m_bytesRemoved; }

private:
    // The stamp folders there are, oldest first.
    std::vector<std::string> stamps();
    // Removes the oldest stamp folder left, this run's own only where
    // thisRunToo; false when there is none to remove.
    bool removeOldestOf(bool thisRunToo);
    // Removes the stamp folders of stamps (oldest first) but the newest count.
    void keepNewest(const std::vector<std::string> &stamps, size_t count);
    bool removeStamp(const std::string &stamp);
    // Opens, made where missing, the folder of this run's stamp folder
    // at inside (a path of folders, "" the stamp folder itself).
    int openInside(const std::string &inside, int &err);

    Fd m_parent;
    dev_t m_device = 0; // of the parent's file system, where versions can be renamed to
    const std::string m_copyName;
    const std::string m_stamp;
    const int m_keep;
    Fd m_ofCopy; // <parent>/.tandemix-versions/<copy name>, once there
    bool m_stampMade = false;
    Fd m_stampFd; // this run's stamp folder, once made
    qint64 m_bytesRemoved = 0;
    std::string m_lastInside; // the folder m_lastFd holds, a run keeps many files of one folder
    Fd m_lastFd;
};
