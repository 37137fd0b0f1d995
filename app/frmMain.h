#pragma once

#include "forms/Form.h"
#include "platform/FileSystemService.h"
#include "core/Result.h"
#include "runs/RunContext.h"

#include <memory>

class DriveList;

// The main window "TX(Tandemix)Ver.3": the folder name and its file
// Path.dat, the source and destination drives with their readiness check,
// the Backup/Restore pages that decide what Start runs, and the buttons to
// the settings and version dialogs. Every control carries its name as
// objectName ("cmdOK", "txtBackup", "Drive1", "SSTab", ...).
class frmMain final : public Form, public MainWindowInputs {
public:
    explicit frmMain(Windows &windows);
    ~frmMain() override;

    DriveEntry Dir1Drive() override;
    DriveEntry Dir2Drive() override;
    QString txtBackupText() override;
    int selectedPage() override;

protected:
    QWidget *createWindow() override;
    void Form_Load() override;
    void unloading() override;

private:
    struct Controls;

    Result<void> pointFoldersAtDriveC();
    void cmdHenko_Click();
    void Drive1_Change();
    void Drive2_Change();
    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdVr_Click();
    void Command1_Click();

    // Sets a hidden folder to the root of the drive that holds a letter; a
    // drive that does not exist or cannot be read leaves the folder empty.
    Result<void> setFolder(DriveEntry &folder, const QString &drive);
    // The readiness check shared by both lists: true, with the folder set,
    // when the shown drive is ready; false once the user was told it is not.
    bool driveReady(const DriveList &list, DriveEntry &folder);
    bool userRetries();
    static void showStartDrive(DriveList &list, const DriveEntry &startDrive);
    bool saveFolderName(const QString &name);

    std::unique_ptr<Controls> c;
    DriveEntry strStartDrive1;
    DriveEntry strStartDrive2;
};
