#pragma once

#include "forms/Form.h"
#include "runs/RunContext.h"
#include "settings/ClockSchedule.h"
#include "runs/RunOptions.h"

#include <memory>

struct EstablishControls;
struct Settings;

// The settings dialog "詳細設定": its controls hold the twelve run options,
// its timer starts runs at the start times, its box holds the history text.
// Every reader loads it first (hidden), which reads Establish.dat and
// Riri.dat and may arm the timer.
class frmEstablish final : public Form, public RunOptions, public HistoryBox {
public:
    explicit frmEstablish(Windows &windows);
    ~frmEstablish() override;

    int chkFolder1() override;
    QString txtFolderPath1() override;
    int chkFolder2() override;
    QString txtFolderPath2() override;
    int chkUwa() override;
    int chkMsg1() override;
    int chkMsg2() override;
    int chkEnd() override;
    int chkTime() override;
    QString txtBackup1() override;
    QString txtBackup2() override;
    QString txtBackup3() override;
    void setChkUwa(int value) override;

    QString txtRireki() override;
    void setTxtRireki(const QString &text) override;
    bool loadedWhole() override;

    // Where the folder pickers put the chosen path.
    void setTxtFolderPath1(const QString &path);
    void setTxtFolderPath2(const QString &path);

    // Each tick of trmClock.
    void trmClock_Timer();

protected:
    QWidget *createWindow() override;
    void Form_Load() override;
    void unloading() override;

private:
    EstablishControls &controls();
    QString dataFile(const QString &fileName) const;
    Settings currentSettings();
    void storeSettings(const Settings &settings);

    void chkFolder1_Click();
    void chkFolder2_Click();
    void chkTime_Click();
    void cmdSun_Click();
    void cmdSun2_Click();
    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdSave_Click();
    void Command1_Click();

    std::unique_ptr<EstablishControls> m_controls;
    ClockSchedule m_schedule;
    bool m_historyLoadedWhole = true;
};
