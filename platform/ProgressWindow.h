#pragma once

#include "platform/CopyProgressRunner.h"

#include <chrono>

// Runs a copy on a worker thread while the user-interface thread waits in a
// local event loop, so windows still paint. The rest of the program takes
// no input meanwhile; a copy that lasts longer than showAfter gets a small
// modal window with its progress, which is gone again when run() returns.
class ProgressWindow final : public CopyProgressRunner {
public:
    explicit ProgressWindow(std::chrono::milliseconds showAfter = std::chrono::milliseconds(500))
        : m_showAfter(showAfter) {}
    Result<void> run(const QString &caption, const Work &work) override;

private:
    std::chrono::milliseconds m_showAfter;
};
