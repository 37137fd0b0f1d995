#pragma once

#include <QString>

// Notices on the desktop, for what nobody may be at the screen to read in a
// box. Where the desktop has no place for them they are dropped quietly.
class Notifications {
public:
    virtual ~Notifications() = default;
    // True when the notice was handed to the desktop.
    virtual bool notify(const QString &summary, const QString &body) = 0;
};
