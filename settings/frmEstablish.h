#pragma once

#include "app/Form.h"
#include "runs/RunContext.h"
#include "settings/RunOptions.h"

// The settings dialog "詳細設定": holds the run options, the timer and the
// history box. (Skeleton: the dialog comes with the settings work.)
class frmEstablish final : public Form, public RunOptions, public HistoryBox {
public:
    using Form::Form;

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
    // Written by the folder pickers.
    void setTxtFolderPath1(const QString &text);
    void setTxtFolderPath2(const QString &text);

    QString txtRireki() override;
    void setTxtRireki(const QString &text) override;

protected:
    QWidget *createWindow() override;
    void Form_Load() override;

private:
    QString m_txtFolderPath1, m_txtFolderPath2;
};
