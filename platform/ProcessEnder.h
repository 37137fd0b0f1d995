#pragma once

// Ends the program at once: no further handler, prompt, closing event or save.
class ProcessEnder {
public:
    virtual ~ProcessEnder() = default;
    [[noreturn]] virtual void endNow() = 0;
};
