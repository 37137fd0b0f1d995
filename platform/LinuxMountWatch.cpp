#include "platform/LinuxMountWatch.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

LinuxMountWatch::LinuxMountWatch(const char *mountInfoPath)
    : m_fd(::open(mountInfoPath, O_RDONLY | O_CLOEXEC))
{
    // Without the file the lists still read the table whenever they open.
    if (m_fd < 0)
        return;
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Exception, this);
    // Polling the file is what takes note of the event, so each change is
    // reported once.
    connect(m_notifier, &QSocketNotifier::activated, this, &MountWatch::changed);
}

LinuxMountWatch::~LinuxMountWatch()
{
    delete m_notifier;
    if (m_fd >= 0)
        ::close(m_fd);
}
