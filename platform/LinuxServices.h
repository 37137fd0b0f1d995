#pragma once

#include "platform/Clock.h"
#include "platform/DataDirectory.h"
#include "platform/ProcessEnder.h"
#include "platform/Registry.h"

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

// Linux has no registry: every open fails.
class NoRegistry final : public Registry {
public:
    long RegOpenKeyExA(quint32 root, const QByteArray &subKey, quint32 options,
                       quint32 samDesired, Handle *result) override;
    long RegQueryValueExA(Handle key, const QByteArray &valueName, quint32 *type,
                          QByteArray &data, quint32 *size) override;
    long RegCloseKey(Handle key) override;
};
