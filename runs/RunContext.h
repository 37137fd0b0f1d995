#pragma once

#include "core/RunGate.h"
#include "platform/Platform.h"
#include "runs/RunOptions.h"

#include <QString>

// What a run and the timer read from the main window. Reading it while the
// main window is not loaded loads it first.
class MainWindowInputs {
public:
    virtual ~MainWindowInputs() = default;
    // The drives of the hidden folders, with the mount each lay on when it
    // was chosen; the root is the folder: "/home/user/".
    virtual DriveEntry Dir1Drive() = 0; // source
    virtual DriveEntry Dir2Drive() = 0; // destination
    virtual QString txtBackupText() = 0; // the folder name, as typed
    virtual int selectedPage() = 0;    // 0 Backup, 1 Restore
};

// The history text box txtRireki of the settings dialog, the working copy
// of the history log.
class HistoryBox {
public:
    virtual ~HistoryBox() = default;
    virtual QString txtRireki() = 0;
    virtual void setTxtRireki(const QString &text) = 0;
    // False when the history file could not be read whole at the last load,
    // so the box lacks part of what the file keeps.
    virtual bool loadedWhole() = 0;
};

// Everything a run reads and uses, passed by reference.
struct RunContext {
    Platform &platform;
    MainWindowInputs &mainWindow;
    RunOptions &options;
    HistoryBox &history;
    RunGate &gate;
};
