#pragma once

#include <QComboBox>

class FileSystemService;

// A drive list: the machine's drives as "C: [ホーム]", one selected. The
// table is read afresh whenever the list opens, so a stick plugged in later
// appears. driveChanged() fires whenever another drive is shown, by the
// user or by setDrive(), at once and nested inside the caller.
class DriveList : public QComboBox {
    Q_OBJECT
public:
    DriveList(FileSystemService &fileSystem, QWidget *parent = nullptr);

    // The text of the shown drive, "C: [ホーム]"; empty when none.
    QString drive() const { return currentText(); }
    // Shows the drive named by a letter, "C:", or an entry text. False (and
    // no change) when the machine has no such drive.
    bool setDrive(const QString &drive);
    // Reads the drive table again, keeping the shown drive.
    void refresh();

signals:
    void driveChanged();

protected:
    void showPopup() override;

private:
    void refill();
    // Raises driveChanged when the shown drive is not the one last reported.
    void reportChange();

    FileSystemService &m_fileSystem;
    bool m_refreshing = false;
    QString m_reported; // letter of the drive last reported as shown
};
