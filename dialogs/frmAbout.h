#pragma once

#include "forms/Form.h"

#include <QString>

#include <memory>

// The version dialog: title, version, description, and a button that starts
// the desktop's system information tool. It takes turns
// with the main window: OK brings a freshly loaded main window back.
class frmAbout final : public Form {
public:
    explicit frmAbout(Windows &windows);
    ~frmAbout() override;

    // Starts the system information tool, or says that it is not available.
    void StartSysInfo();

protected:
    QWidget *createWindow() override;
    void Form_Load() override;
    void unloading() override;

private:
    struct Controls;

    void cmdOK_Click();
    void cmdSysInfo_Click();
    void sysInfoUnavailable();

    std::unique_ptr<Controls> m_c;
};
