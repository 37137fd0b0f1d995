#pragma once

#include "platform/DBusNotifications.h"
#include "platform/DesktopServices.h"
#include "platform/LinuxDriveTable.h"
#include "platform/LinuxMountWatch.h"
#include "platform/LinuxServices.h"
#include "platform/Platform.h"
#include "platform/ProgressWindow.h"
#include "runs/DriveFileSystem.h"

// The services of the running program on a Linux desktop.
class LinuxPlatform {
public:
    Platform platform()
    {
        return Platform{messageBoxes, busyPointer, clipboard, programs, ender,
                        dataDirectory, clock, systemInfo, fileSystem, copyProgress, mounts,
                        notifications};
    }

private:
    QtMessageBoxes messageBoxes;
    QtBusyPointer busyPointer;
    QtClipboard clipboard;
    DesktopProgramStarter programs;
    LinuxProcessEnder ender;
    XdgDataDirectory dataDirectory;
    LinuxClock clock;
    PathSystemInfoTool systemInfo;
    LinuxDriveTable drives;
    DriveFileSystem fileSystem{drives};
    ProgressWindow copyProgress;
    LinuxMountWatch mounts;
    DBusNotifications notifications;
};
