#pragma once

#include <QString>

// Starts other programs in a normal window with the focus, without waiting.
class ProgramStarter {
public:
    virtual ~ProgramStarter() = default;
    // The desktop's file manager on the user's home folder.
    virtual bool startFileExplorer() = 0;
    // A program by the path of its file; false when it cannot be started.
    virtual bool startProgram(const QString &path) = 0;
};
