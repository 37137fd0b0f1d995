#include "app/AppContext.h"

#include "app/frmMain.h"
#include "dialogs/frmAbout.h"
#include "dialogs/frmCopy.h"
#include "runs/Runs.h"
#include "settings/SettingsFile.h"
#include "settings/frmEstablish.h"

#include <QCoreApplication>

AppContext::AppContext(Platform platform)
    : pageRuns{RunBackup, RunHukyuu},
      onLastWindowGone([] { QCoreApplication::quit(); }),
      m_platform(platform),
      m_frmMain(std::make_unique<class frmMain>(*this)),
      m_frmEstablish(std::make_unique<class frmEstablish>(*this)),
      m_frmCopy1(std::make_unique<class frmCopy1>(*this)),
      m_frmCopy2(std::make_unique<class frmCopy2>(*this)),
      m_frmAbout(std::make_unique<class frmAbout>(*this))
{
}

AppContext::~AppContext()
{
    // The forms delete their windows as they go; that is no user's unload.
    m_ending = true;
}

template <typename F>
static F &loaded(const std::unique_ptr<F> &form)
{
    form->Load();
    return *form;
}

class frmMain &AppContext::frmMain() { return loaded(m_frmMain); }
class frmEstablish &AppContext::frmEstablish() { return loaded(m_frmEstablish); }
class frmCopy1 &AppContext::frmCopy1() { return loaded(m_frmCopy1); }
class frmCopy2 &AppContext::frmCopy2() { return loaded(m_frmCopy2); }
class frmAbout &AppContext::frmAbout() { return loaded(m_frmAbout); }

void AppContext::start()
{
    frmMain().Show();
    const Result<Settings> saved =
        SettingsFile::Read(m_platform.dataDirectory.filePath(SettingsFile::FileName));
    if (saved && saved->chkTime == 1)
        frmEstablish();
}

void AppContext::showMain()
{
    frmMain().Show();
}

void AppContext::showSettings(Form *owner)
{
    frmEstablish().Show(owner);
}

// frmCopy2 picks the source, frmCopy1 the destination.
void AppContext::showPicker(Side side, Form *owner)
{
    if (side == Side::Source)
        frmCopy2().Show(owner);
    else
        frmCopy1().Show(owner);
}

void AppContext::showAbout()
{
    frmAbout().Show();
}

void AppContext::pathPicked(Side side, const QString &path)
{
    if (side == Side::Source)
        frmEstablish().setTxtFolderPath1(path);
    else
        frmEstablish().setTxtFolderPath2(path);
}

RunContext AppContext::runContext()
{
    return RunContext{m_platform, *m_frmMain, *m_frmEstablish, *m_frmEstablish, m_runGate};
}

void AppContext::runSelectedPage()
{
    RunContext context = runContext();
    if (context.mainWindow.selectedPage() == 0)
        pageRuns.backup(context);
    else
        pageRuns.hukyuu(context);
}

void AppContext::formUnloaded(Form &)
{
    if (m_ending)
        return;
    const QList<Form *> all = forms();
    for (Form *form : all)
        if (form->isVisible())
            return;
    m_ending = true;
    for (Form *form : all)
        form->Unload();
    m_ending = false;
    if (onLastWindowGone)
        onLastWindowGone();
}
