#include "widgets/DriveList.h"

#include "platform/FileSystemService.h"

namespace {
QString letterOf(const QString &drive)
{
    return drive.trimmed().left(1).toUpper();
}
} // namespace

DriveList::DriveList(FileSystemService &fileSystem, QWidget *parent)
    : QComboBox(parent), m_fileSystem(fileSystem)
{
    refill();
    m_reported = letterOf(drive());
    connect(this, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_refreshing)
            reportChange();
    });
}

void DriveList::reportChange()
{
    const QString shown = letterOf(drive());
    if (shown == m_reported)
        return;
    m_reported = shown;
    emit driveChanged();
}

// A shown drive that left the table gives way to the first one, and that
// is a change like any other: whoever follows the list must hear of it.
void DriveList::refresh()
{
    refill();
    reportChange();
}

void DriveList::refill()
{
    const QString shown = letterOf(drive());
    m_refreshing = true;
    clear();
    for (const DriveEntry &entry : m_fileSystem.Drives())
        addItem(entry.text(), entry.name);
    int index = -1;
    for (int i = 0; i < count(); ++i)
        if (letterOf(itemText(i)) == shown)
            index = i;
    setCurrentIndex(index >= 0 ? index : (count() ? 0 : -1));
    m_refreshing = false;
}

bool DriveList::setDrive(const QString &drive)
{
    const QString wanted = letterOf(drive);
    if (wanted.isEmpty())
        return false;
    refill();
    for (int i = 0; i < count(); ++i) {
        if (letterOf(itemText(i)) == wanted) {
            setCurrentIndex(i);
            reportChange(); // once, and only when it is another drive
            return true;
        }
    }
    reportChange(); // the shown drive may have left the table
    return false;
}

void DriveList::showPopup()
{
    refresh();
    QComboBox::showPopup();
}
