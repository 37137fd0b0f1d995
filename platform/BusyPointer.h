#pragma once

// The application-wide busy (hourglass) pointer shown during a copy.
class BusyPointer {
public:
    virtual ~BusyPointer() = default;
    virtual void setBusy(bool busy) = 0;
    virtual bool isBusy() const = 0;
};
