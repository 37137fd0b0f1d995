#pragma once

#include <QString>

// The current date and time of day as the program shows and compares them:
// date "yyyy/MM/dd", time "H:mm:ss" (24-hour, no leading zero on the hour).
class Clock {
public:
    virtual ~Clock() = default;
    virtual QString dateText() const = 0;
    virtual QString timeText() const = 0;
};
