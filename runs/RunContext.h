#pragma once

#include "platform/Platform.h"
#include "settings/RunOptions.h"

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

// Whether a run, or a question of the timer, is in progress. The timer
// starts nothing while it is: a long copy runs an event loop for its
// progress window, and ticks must not start a second run inside it.
class RunGate {
public:
    bool busy() const { return m_depth > 0; }

    // Marks the gate busy for its lifetime; nests.
    class Hold {
    public:
        explicit Hold(RunGate &gate) : m_gate(gate) { ++m_gate.m_depth; }
        ~Hold() { --m_gate.m_depth; }
        Hold(const Hold &) = delete;
        Hold &operator=(const Hold &) = delete;

    private:
        RunGate &m_gate;
    };

private:
    int m_depth = 0;
};

// Everything a run reads and uses, passed by reference.
struct RunContext {
    Platform &platform;
    MainWindowInputs &mainWindow;
    RunOptions &options;
    HistoryBox &history;
    RunGate &gate;
};
