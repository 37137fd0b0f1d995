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
    refresh();
    connect(this, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_refreshing)
            emit driveChanged();
    });
}

void DriveList::refresh()
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
    refresh();
    for (int i = 0; i < count(); ++i) {
        if (letterOf(itemText(i)) == wanted) {
            setCurrentIndex(i); // emits driveChanged only when it is another drive
            return true;
        }
    }
    return false;
}

void DriveList::showPopup()
{
    refresh();
    QComboBox::showPopup();
}
