#pragma once

#include "platform/Clock.h"
#include "platform/DataDirectory.h"
#include "platform/ProcessEnder.h"
#include "platform/SystemInfoTool.h"

// The widget-free Linux services.

// Local time, formatted the same whatever the locale.
class LinuxClock final : public Clock {
public:
    QString dateText() const override;
    QString timeText() const override;
};

// $XDG_CONFIG_HOME/tandemix, else ~/.config/tandemix; the state in
// $XDG_STATE_HOME/tandemix, else ~/.local/state/tandemix.
class XdgDataDirectory final : public DataDirectory {
public:
    QString path() const override;
    QString stateDirectory() const override;
};

class LinuxProcessEnder final : public ProcessEnder {
public:
    [[noreturn]] void endNow() override;
};

// The first of the desktops' system information programs found on PATH.
class PathSystemInfoTool final : public SystemInfoTool {
public:
    QString find() const override;
};
