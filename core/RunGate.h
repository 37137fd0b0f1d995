#pragma once

// Whether a run, or a question of the timer, is in progress. The timer
// starts nothing while it is: a long copy runs an event loop for its
// progress window, and ticks must not start a second run inside it.
class RunGate {
public:
    bool busy() const { return m_depth > 0; }

    // Marks the gate busy for its lifetime; nests.
    class Hold {
    public:
        explicit Hold(RunGate &gate) : m_gate(gate) { ++m_gate.m_depth; }
        ~Hold() { --m_gate.m_depth; }
        Hold(const Hold &) = delete;
        Hold &operator=(const Hold &) = delete;

    private:
        RunGate &m_gate;
    };

private:
    int m_depth = 0;
};
