#pragma once

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
// dialog, hidden, if it is not loaded. No globals: everything that needs a
// window or a service is handed this context.
class AppContext {
public:
    explicit AppContext(Platform platform);
    ~AppContext();
    AppContext(const AppContext &) = delete;
    AppContext &operator=(const AppContext &) = delete;

    Platform &platform() { return m_platform; }

    class frmMain &frmMain();
    class frmEstablish &frmEstablish();
    class frmCopy1 &frmCopy1();
    class frmCopy2 &frmCopy2();
    class frmAbout &frmAbout();

    // Every form object, loaded or not.
    QList<Form *> forms() const { return m_forms; }
    void registerForm(Form *form) { m_forms.append(form); }
    void unregisterForm(Form *form) { m_forms.removeOne(form); }
    // What a run reads; the windows load only when the run reads them.
    RunContext runContext();
    // Held while a run or the timer's question is in progress.
    RunGate &runGate() { return m_runGate; }
    // Starts the backup or the restore, as the main window's page says.
    void runSelectedPage();
    // RunBackup and RunHukyuu unless a test replaced them.
    PageRuns pageRuns;

    // Called by a form after it unloaded. When no window of the program is
    // left on screen, the hidden ones are unloaded too and the program ends:
    // nothing may keep running where the user can no longer reach it.
    void formUnloaded(Form &form);
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
