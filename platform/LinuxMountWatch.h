#pragma once

#include "platform/MountWatch.h"

class QSocketNotifier;

// The kernel marks /proc/self/mountinfo with POLLPRI when a mount comes or
// goes; the event loop watches that through an exception notifier.
class LinuxMountWatch final : public MountWatch {
public:
    explicit LinuxMountWatch(const char *mountInfoPath = "/proc/self/mountinfo");
    ~LinuxMountWatch() override;
    LinuxMountWatch(const LinuxMountWatch &) = delete;
    LinuxMountWatch &operator=(const LinuxMountWatch &) = delete;

private:
    int m_fd;
    QSocketNotifier *m_notifier = nullptr;
};
