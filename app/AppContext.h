#pragma once

#include "forms/Windows.h"
#include "platform/Platform.h"
#include "runs/RunContext.h"

#include <QList>

#include <functional>
#include <memory>

class Form;
class frmMain;
class frmEstablish;
class frmCopy1;
class frmCopy2;
class frmAbout;

// What Start and the timer run for each page of the main window; tests put
// recorders here to see which run starts and what it reads.
struct PageRuns {
    std::function<void(RunContext &)> backup;
    std::function<void(RunContext &)> hukyuu;
};

// Owns the platform services and the five windows of the program. A window
// is loaded on reference: frmEstablish() creates and loads the settings
// dialog, hidden, if it is not loaded. No globals: every window is handed
// this context as the Windows it may ask for the others.
class AppContext final : public Windows {
public:
    explicit AppContext(Platform platform);
    ~AppContext() override;
    AppContext(const AppContext &) = delete;
    AppContext &operator=(const AppContext &) = delete;

    Platform &platform() override { return m_platform; }

    class frmMain &frmMain();
    class frmEstablish &frmEstablish();
    class frmCopy1 &frmCopy1();
    class frmCopy2 &frmCopy2();
    class frmAbout &frmAbout();

    // Every form object, loaded or not.
    QList<Form *> forms() const { return m_forms; }
    void registerForm(Form *form) override { m_forms.append(form); }
    void unregisterForm(Form *form) override { m_forms.removeOne(form); }

    // The program's start: the main window on screen, and a timer saved as
    // on armed at once by loading the settings dialog hidden, as a run
    // would, so that a schedule survives a restart.
    void start();

    void showMain() override;
    void showSettings(Form *owner) override;
    void showPicker(Side side, Form *owner) override;
    void showAbout() override;
    void pathPicked(Side side, const QString &path) override;

    // What a run reads; the windows load only when the run reads them.
    RunContext runContext();
    RunGate &runGate() override { return m_runGate; }
    void runSelectedPage() override;
    // RunBackup and RunHukyuu unless a test replaced them.
    PageRuns pageRuns;

    // When no window of the program is left on screen, the hidden ones are
    // unloaded too and the program ends: nothing may keep running where the
    // user can no longer reach it.
    void formUnloaded(Form &form) override;
    // What ending means: quitting the event loop; tests record it instead.
    std::function<void()> onLastWindowGone;

private:
    Platform m_platform;
    RunGate m_runGate;
    QList<Form *> m_forms;
    std::unique_ptr<class frmMain> m_frmMain;
    std::unique_ptr<class frmEstablish> m_frmEstablish;
    std::unique_ptr<class frmCopy1> m_frmCopy1;
    std::unique_ptr<class frmCopy2> m_frmCopy2;
    std::unique_ptr<class frmAbout> m_frmAbout;
    bool m_ending = false;
};
