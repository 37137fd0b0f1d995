#pragma once

#include "platform/BusyPointer.h"
#include "platform/Clipboard.h"
#include "platform/Clock.h"
#include "platform/CopyProgressRunner.h"
#include "platform/DataDirectory.h"
#include "platform/FileSystemService.h"
#include "platform/MessageBoxes.h"
#include "platform/MountWatch.h"
#include "platform/Notifications.h"
#include "platform/ProcessEnder.h"
#include "platform/ProgramStarter.h"
#include "platform/SystemInfoTool.h"

#include <initializer_list>

// The desktop services the program uses, passed by reference to everything
// that needs them. The program gets the Linux ones, tests the fakes.
struct Platform {
    MessageBoxes &messageBoxes;
    BusyPointer &busyPointer;
    Clipboard &clipboard;
    ProgramStarter &programs;
    ProcessEnder &ender;
    DataDirectory &dataDirectory;
    Clock &clock;
    SystemInfoTool &systemInfo;
    FileSystemService &fileSystem;
    CopyProgressRunner &copyProgress;
    MountWatch &mounts;
    Notifications &notifications;

    // A failure the program cannot explain: each text in an OK box of its
    // own, then a box saying the author's address goes on the clipboard for
    // the user's mail, and it does. Details, when known, hold the cause.
    void reportUnexpectedError(std::initializer_list<QString> texts, const QString &details = {});
};
