#pragma once

#include "platform/BusyPointer.h"
#include "platform/Clipboard.h"
#include "platform/MessageBoxes.h"
#include "platform/ProgramStarter.h"

// The Linux services that need the desktop (Qt Gui and Widgets).

class QtMessageBoxes final : public MessageBoxes {
public:
    MsgAnswer MsgBox(const QString &text, MsgButtons buttons, MsgIcon icon,
                     const QString &title, const QString &details) override;
};

class QtBusyPointer final : public BusyPointer {
public:
    void setBusy(bool busy) override;
    bool isBusy() const override { return m_busy; }

private:
    bool m_busy = false;
};

class QtClipboard final : public Clipboard {
public:
    void setText(const QString &text) override;
};

class DesktopProgramStarter final : public ProgramStarter {
public:
    bool startFileExplorer() override;
    bool startProgram(const QString &path) override;
};
