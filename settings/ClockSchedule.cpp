#include "settings/ClockSchedule.h"

QList<int> ClockSchedule::due(const StartTimes &starts, const QString &timeText)
{
    const bool newSecond = timeText != m_lastTick;
    m_lastTick = timeText;
    QList<int> dueSlots;
    if (!newSecond || starts[0].isEmpty())
        return dueSlots;
    for (int slot = 0; slot < int(starts.size()); ++slot)
        if (starts[slot] == timeText)
            dueSlots.append(slot);
    return dueSlots;
}
