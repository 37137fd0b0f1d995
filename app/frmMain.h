#pragma once

#include "app/Form.h"
#include "runs/RunContext.h"

// The main window. (Skeleton: the window comes with the main-window work.)
class frmMain final : public Form, public MainWindowInputs {
public:
    using Form::Form;

    QString Dir1Path() override;
    QString Dir2Path() override;
    QString txtBackupText() override;
    int selectedPage() override;

protected:
    QWidget *createWindow() override;
    void Form_Load() override;
};
