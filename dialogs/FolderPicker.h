#pragma once

#include "forms/Form.h"
#include "platform/FileSystemService.h"

#include <QString>

#include <memory>

// A folder picker: the user browses drives and folders (or types a path) and
// OK writes the chosen path into one path field of the settings dialog. The
// source and destination pickers differ only in what Setup holds.
class FolderPicker : public Form {
public:
    struct Setup {
        QString name;  // the form's name, given to its window
        QString title;
        // The settings dialog's path that OK fills.
        Side side;
        // Whether OK brings the settings dialog forward after writing.
        bool okShowsSettings;
        // Heights and positions in twips where the pickers differ.
        int clientHeight;
        int txtFileNameWidth;
        int cmdOpenTop;
        int cmdExitTop;
        int Dir1Height;
    };

    FolderPicker(Windows &windows, Setup setup);
    ~FolderPicker() override;

    // The selected path: follows the path box and survives closing and reopening.
    QString strFileName() const { return m_strFileName; }

protected:
    QWidget *createWindow() override;
    void Form_Load() override;
    void unloading() override;

private:
    struct Controls;

    void Drive1_Change();
    void Dir1_Change();
    void txtFileName_Change();
    void cmdOpen_Click();
    void cmdExit_Click();

    bool openDrive(const DriveEntry &drive);
    QString currentFolderOn(const QString &driveName, const QString &root) const;
    void reportFatalError();

    const Setup m_setup;
    std::unique_ptr<Controls> m_c;
    QString m_strFileName;
};
