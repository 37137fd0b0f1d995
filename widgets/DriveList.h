#pragma once

#include "platform/FileSystemService.h"

#include <QComboBox>

#include <functional>

class MountWatch;

// A drive list: the machine's drives as "C: [ホーム]", one selected. Each
// entry names its file system, so an entry never stands for another one,
// and a stick plugged in again is its entry again.
// The list reads the table again when a mount comes or goes and whenever
// it opens, keeping the shown drive; if that drive has left, its entry stays
// shown, not ready, until another is picked, and picking it again counts as
// a change. driveChanged() fires whenever another drive is shown, by the
// user or by setDrive(), at once and nested inside the caller.
class DriveList : public QComboBox {
    Q_OBJECT
public:
    DriveList(FileSystemService &fileSystem, MountWatch &mounts, QWidget *parent = nullptr);

    // The text of the shown drive, "C: [ホーム]"; empty when none.
    QString drive() const { return currentText(); }
    // The shown drive with its mount; it may have left since.
    DriveEntry shownDrive() const;
    // Shows the drive that holds a letter now, named by "C:", "C" or an
    // entry text. False (and no change) when no drive holds it.
    bool setDrive(const QString &drive);
    // Shows that very drive. False (and no change) once it has left.
    bool setDrive(const DriveEntry &drive);
    // Reads the drive table again, keeping the shown drive; reports nothing.
    void refresh();

signals:
    void driveChanged();

protected:
    void showPopup() override;
    void paintEvent(QPaintEvent *event) override;

private:
    // Shows the first entry of a drive still mounted that matches.
    bool showMounted(const std::function<bool(const DriveEntry &)> &matches);
    // Shows the entry at index, reporting a change when it is another drive.
    void show(int index);
    // Raises driveChanged when the shown drive is not the one last reported.
    void reportChange();

    FileSystemService &m_fileSystem;
    QList<DriveEntry> m_entries; // one per item
    bool m_refreshing = false;
    bool m_shownLeft = false;    // the shown drive is no longer mounted
    DriveEntry m_reported;       // the drive last reported as shown
};
