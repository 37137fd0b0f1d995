#include "widgets/DriveList.h"

#include "platform/MountWatch.h"

#include <QAbstractItemView>
#include <QStylePainter>

#include <algorithm>

DriveList::DriveList(FileSystemService &fileSystem, MountWatch &mounts, QWidget *parent)
    : QComboBox(parent), m_fileSystem(fileSystem)
{
    refresh();
    m_reported = shownDrive();
    connect(this, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_refreshing) {
            m_shownLeft = false;
            reportChange();
        }
    });
    // Picking the entry shown already changes nothing, unless its drive has
    // left: then the check must run and tell the user.
    connect(this, &QComboBox::activated, this, [this] {
        if (m_shownLeft)
            emit driveChanged();
    });
    // Rebuilding the items would close an open popup under the user's
    // pointer; it was filled as it opened, and every entry names its mount.
    // A stick plugged in again under another folder is the shown drive at
    // a new place, which its users must follow.
    connect(&mounts, &MountWatch::changed, this, [this] {
        if (!view()->isVisible()) {
            refresh();
            reportChange();
        }
    });
}

DriveEntry DriveList::shownDrive() const
{
    const int index = currentIndex();
    return index >= 0 ? m_entries.value(index) : DriveEntry{};
}

void DriveList::reportChange()
{
    const DriveEntry shown = shownDrive();
    if (shown.sameDrive(m_reported) && shown.root == m_reported.root)
        return;
    m_reported = shown;
    emit driveChanged();
}

void DriveList::refresh()
{
    const DriveEntry shown = shownDrive();
    QList<DriveEntry> entries = m_fileSystem.Drives();
    const auto sameAsShown = [&](const DriveEntry &d) { return d.sameDrive(shown); };
    m_shownLeft = count() > 0 && std::none_of(entries.cbegin(), entries.cend(), sameAsShown);
    if (m_shownLeft) {
        // The left drive keeps its place and its letter; a drive that came
        // under that letter anyway waits until another entry is picked.
        entries.removeIf([&](const DriveEntry &d) { return d.name == shown.name; });
        const auto after = std::find_if(entries.cbegin(), entries.cend(),
                                        [&](const DriveEntry &d) { return d.name > shown.name; });
        entries.insert(after - entries.cbegin(), shown);
    }

    m_refreshing = true;
    clear();
    m_entries = entries;
    int index = -1;
    for (int i = 0; i < m_entries.size(); ++i) {
        addItem(m_entries[i].text());
        if (sameAsShown(m_entries[i]))
            index = i;
    }
    setCurrentIndex(index >= 0 ? index : (count() ? 0 : -1));
    m_refreshing = false;
}

bool DriveList::setDrive(const QString &drive)
{
    const QString wanted = driveLetterOf(drive);
    return !wanted.isEmpty() && showMounted([&](const DriveEntry &entry) { return entry.name == wanted; });
}

bool DriveList::setDrive(const DriveEntry &drive)
{
    return showMounted([&](const DriveEntry &entry) { return entry.sameDrive(drive); });
}

bool DriveList::showMounted(const std::function<bool(const DriveEntry &)> &matches)
{
    refresh();
    for (int i = 0; i < count(); ++i) {
        if (i == currentIndex() && m_shownLeft)
            continue;
        if (matches(m_entries[i])) {
            show(i);
            return true;
        }
    }
    return false;
}

void DriveList::show(int index)
{
    if (index != currentIndex()) {
        // The left drive gives way; the next refresh drops its entry.
        setCurrentIndex(index);
        return; // reported through currentIndexChanged
    }
    reportChange();
}

void DriveList::showPopup()
{
    refresh();
    QComboBox::showPopup();
}

// As the toolkit paints a list, but a label too long for the box is
// shortened with an ellipsis instead of being cut.
void DriveList::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    option.currentText = fontMetrics().elidedText(option.currentText, Qt::ElideRight, field.width());
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}
