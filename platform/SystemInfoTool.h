#pragma once

#include <QString>

// Where the desktop's system information program is.
class SystemInfoTool {
public:
    virtual ~SystemInfoTool() = default;
    // The program to start, without arguments; empty when there is none.
    virtual QString find() const = 0;
};
