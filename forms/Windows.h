#pragma once

#include "core/Result.h"
#include "platform/Platform.h"

#include <QString>

class Form;
class RunGate;

// What a window may ask of the program: its services, its own
// registration, and the other windows by what they do. Each window holds
// this, never another window, so that only the program's start names the
// concrete windows. Showing a window loads it first when it is not loaded.
class Windows {
public:
    virtual ~Windows() = default;

    virtual Platform &platform() = 0;

    // Every form object registers when made and unregisters when destroyed.
    virtual void registerForm(Form *form) = 0;
    virtual void unregisterForm(Form *form) = 0;
    // Called by a form after it unloaded; may end the program.
    virtual void formUnloaded(Form &form) = 0;

    virtual void showMain() = 0;
    // The settings dialog, above owner when one is given.
    virtual void showSettings(Form *owner) = 0;
    // The picker of the separate source or destination folder, above owner.
    virtual void showPicker(Side side, Form *owner) = 0;
    virtual void showAbout() = 0;
    // A picker's choice goes into the settings dialog's path of that side,
    // loading the dialog hidden when needed.
    virtual void pathPicked(Side side, const QString &path) = 0;

    // Starts the backup or the restore, as the main window's page says.
    virtual void runSelectedPage() = 0;
    // Held while a run or the timer's question is in progress.
    virtual RunGate &runGate() = 0;
};
