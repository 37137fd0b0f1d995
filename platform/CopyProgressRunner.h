#pragma once

#include "platform/FileSystemService.h"
#include "core/Result.h"

#include <QString>

#include <functional>

// Observer of a long copy that must show when the final flush begins.
class CopyProgressObserver : public CopyObserver {
public:
    void flushStarted() override = 0;
};

// Runs a copy off the user-interface thread; when it lasts longer than a
// moment a modal progress window shows it. Returns only when the work is done.
class CopyProgressRunner {
public:
    using Work = std::function<Result<void>(CopyProgressObserver &observer)>;
    virtual ~CopyProgressRunner() = default;
    // caption says what is being done ("バックアップ中…").
    virtual Result<void> run(const QString &caption, const Work &work) = 0;
};
