#pragma once

#include <QList>
#include <QString>

#include <array>

// The timer's matching, without a window: which of the three start times
// are due at a tick. A start time is due when it is exactly the time text
// ("14:30:00"): no trimming, no parsing, so full-width digits, a missing
// seconds part or a blank never match.
//
// The timer ticks about ten times a second; a slot is due only on the first
// tick that sees its second, so a run that returns within that second, or a
// question answered quickly, does not start the same slot again.
class ClockSchedule {
public:
    using StartTimes = std::array<QString, 3>;

    static inline const QString ClockPrefix = QStringLiteral("ただいまの時刻：");
    // The clock line shown above the start times.
    static QString ClockLine(const QString &timeText) { return ClockPrefix + timeText; }

    // Called on every tick with that tick's time text. The due slots (0, 1,
    // 2) in order, every slot that holds the time (two slots with the same
    // time are both due); none when the first start time is empty or an
    // earlier tick saw this second.
    QList<int> due(const StartTimes &starts, const QString &timeText);
    // Forgets the last tick, so a timer armed again starts afresh.
    void reset() { m_lastTick.clear(); }

private:
    QString m_lastTick;
};
