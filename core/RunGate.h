#pragma once

#include "core/AnswerWithin.h"

// Whether a run, or a question of the timer, is in progress, or the window
// waits for a drive. The timer starts nothing while it is: a long copy runs
// an event loop for its progress window, so does a wait for a slow drive,
// and ticks must not start a run inside either.
class RunGate {
public:
    bool busy() const { return m_depth > 0 || waitingForADrive(); }
    // True while the timer holds the gate: what runs now nobody started by hand.
    bool byTimer() const { return m_timerDepth > 0; }

    enum class By { User, Timer };

    // Marks the gate busy for its lifetime; nests.
    class Hold {
    public:
        explicit Hold(RunGate &gate, By by = By::User) : m_gate(gate), m_timer(by == By::Timer)
        {
            ++m_gate.m_depth;
            m_gate.m_timerDepth += m_timer;
        }
        ~Hold()
        {
            --m_gate.m_depth;
            m_gate.m_timerDepth -= m_timer;
        }
        Hold(const Hold &) = delete;
        Hold &operator=(const Hold &) = delete;

    private:
        RunGate &m_gate;
        int m_timer;
    };

private:
    int m_depth = 0;
    int m_timerDepth = 0;
};
