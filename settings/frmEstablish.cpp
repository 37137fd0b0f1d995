#include "settings/frmEstablish.h"

#include "forms/Windows.h"
#include "runs/HistoryLog.h"
#include "settings/EstablishWindow.h"
#include "settings/SettingsFile.h"

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace {

constexpr int TickMilliseconds = 100;

// An enabling rule of a separate-path group: the path box with its colour
// and the group's other controls follow the check box; the path stays.
void applyPathRule(const QCheckBox *check, QLineEdit *box, std::initializer_list<QWidget *> others)
{
    const bool on = isOn(checkValue(check));
    setPathBoxEditable(box, on);
    for (QWidget *widget : others)
        widget->setEnabled(on);
}

} // namespace

frmEstablish::frmEstablish(Windows &windows) : Form(windows) {}

frmEstablish::~frmEstablish() = default;

QWidget *frmEstablish::createWindow()
{
    m_controls = std::make_unique<EstablishControls>(buildEstablishWindow());
    EstablishControls &c = *m_controls;
    connect(c.chkFolder1, &QCheckBox::stateChanged, this, &frmEstablish::chkFolder1_Click);
    connect(c.chkFolder2, &QCheckBox::stateChanged, this, &frmEstablish::chkFolder2_Click);
    connect(c.chkTime, &QCheckBox::stateChanged, this, &frmEstablish::chkTime_Click);
    connect(c.cmdSun, &QPushButton::clicked, this, &frmEstablish::cmdSun_Click);
    connect(c.cmdSun2, &QPushButton::clicked, this, &frmEstablish::cmdSun2_Click);
    connect(c.cmdOK, &QPushButton::clicked, this, &frmEstablish::cmdOK_Click);
    connect(c.cmdCancel, &QPushButton::clicked, this, &frmEstablish::cmdCancel_Click);
    connect(c.cmdSave, &QPushButton::clicked, this, &frmEstablish::cmdSave_Click);
    connect(c.Command1, &QPushButton::clicked, this, &frmEstablish::Command1_Click);
    connect(c.trmClock, &QTimer::timeout, this, &frmEstablish::trmClock_Timer);
    return c.window;
}

void frmEstablish::unloading()
{
    m_controls.reset();
}

EstablishControls &frmEstablish::controls()
{
    Load();
    return *m_controls;
}

QString frmEstablish::dataFile(const QString &fileName) const
{
    return windows().platform().dataDirectory.filePath(fileName);
}

// The load: the enabling rules on the states as they stand, then the
// settings file and the history read before either is shown, then the
// options stored in file order (each change raises its click handler).
// Options the file cannot give keep their values; a missing history file
// shows the header line, as after a clear. A history file that cannot be
// read leaves the box as it was, and the runs then only add to the file.
void frmEstablish::Form_Load()
{
    chkFolder1_Click();
    chkFolder2_Click();
    chkTime_Click();
    const Result<Settings> settings = SettingsFile::Read(dataFile(SettingsFile::FileName));
    Result<QString> history = HistoryLog::Load(windows().platform().dataDirectory);
    if (!history && history.error().number == ErrorNumber::FileNotFound)
        history = HistoryLog::Header + HistoryLog::CrLf;
    m_historyLoadedWhole = history.ok();
    if (settings)
        storeSettings(*settings);
    if (history)
        setTxtRireki(*history);
}

void frmEstablish::storeSettings(const Settings &settings)
{
    QWidget *window = controls().window;
    SettingsFile::forEachField(
        settings,
        [&](const char *name, int value) { setCheckValue(window->findChild<QCheckBox *>(name), value); },
        [&](const char *name, const QString &text) { window->findChild<QLineEdit *>(name)->setText(text); });
}

Settings frmEstablish::currentSettings()
{
    QWidget *window = controls().window;
    Settings settings;
    SettingsFile::forEachField(
        settings, [&](const char *name, int &value) { value = checkValue(window->findChild<QCheckBox *>(name)); },
        [&](const char *name, QString &text) { text = window->findChild<QLineEdit *>(name)->text(); });
    return settings;
}

void frmEstablish::chkFolder1_Click()
{
    EstablishControls &c = controls();
    applyPathRule(c.chkFolder1, c.txtFolderPath1, {c.Label1, c.cmdSun, c.lblSetsumei1});
}

void frmEstablish::chkFolder2_Click()
{
    EstablishControls &c = controls();
    applyPathRule(c.chkFolder2, c.txtFolderPath2, {c.Label3, c.cmdSun2, c.lblSetsumei2});
}

void frmEstablish::chkTime_Click()
{
    EstablishControls &c = controls();
    const bool on = isOn(checkValue(c.chkTime));
    for (QWidget *widget : std::initializer_list<QWidget *>{c.Frame3, c.lblSetsumei3, c.Label2, c.txtBackup1,
                                                            c.Label4, c.chkMsg1})
        widget->setEnabled(on);
    if (on) {
        c.trmClock->start(TickMilliseconds);
    } else {
        c.trmClock->stop();
        c.trmClock->setInterval(0);
        c.lblTime->setText(QString());
        m_schedule.reset();
    }
}

void frmEstablish::cmdSun_Click()
{
    windows().showPicker(Side::Source, this);
}

void frmEstablish::cmdSun2_Click()
{
    windows().showPicker(Side::Destination, this);
}

// OK keeps everything, the timer included; nothing is written.
void frmEstablish::cmdOK_Click()
{
    Hide();
    windows().showMain();
}

// Cancel drops the unsaved changes and the timer with the window.
void frmEstablish::cmdCancel_Click()
{
    Unload();
    windows().showMain();
}

// Shows nothing, even on failure; the file is written whole or not at all,
// so a failed save leaves the earlier settings for the next load.
void frmEstablish::cmdSave_Click()
{
    static_cast<void>(SettingsFile::Write(dataFile(SettingsFile::FileName), currentSettings()));
}

// Clears the history after asking, then loads the whole dialog again: the
// box shows the header line and unsaved options return to the saved ones.
// A file that cannot be written is reported and nothing changes.
void frmEstablish::Command1_Click()
{
    MessageBoxes &boxes = windows().platform().messageBoxes;
    const QString title = QStringLiteral("履歴消去");
    if (boxes.MsgBox(QStringLiteral("本当に消してよろしいですか？"), MsgButtons::YesNo, MsgIcon::Question,
                     title) != MsgAnswer::Yes)
        return;
    const Result<void> cleared = HistoryLog::Clear(windows().platform().dataDirectory);
    if (!cleared) {
        boxes.MsgBox(QStringLiteral("履歴ファイルに書き込めませんでした。履歴は消去されていません。\r\n")
                         + dataFile(HistoryLog::FileName),
                     MsgButtons::OK, MsgIcon::Exclamation, title);
        return;
    }
    Form_Load();
}

// The clock line, then the start times that are due at this second: each
// one, after the question when chkMsg1 is on, starts the run of the main
// window's page. Nothing starts while a run or a question is in progress,
// and ticks that come meanwhile (a long copy keeps the events going) only
// refresh the clock line.
void frmEstablish::trmClock_Timer()
{
    EstablishControls &c = controls();
    const QString now = windows().platform().clock.timeText();
    c.lblTime->setText(ClockSchedule::ClockLine(now));
    const QList<int> due = m_schedule.due({c.txtBackup1->text(), c.txtBackup2->text(), c.txtBackup3->text()}, now);
    RunGate &gate = windows().runGate();
    if (due.isEmpty() || gate.busy())
        return;
    const RunGate::Hold hold(gate, RunGate::By::Timer);
    for ([[maybe_unused]] int slot : due) {
        if (isOn(chkMsg1())
            && windows().platform().messageBoxes.MsgBox(
                   QStringLiteral("指定の時刻になりましたので､バックアップ又は復旧を行います。よろしいですか？"),
                   MsgButtons::YesNo, MsgIcon::Question, QStringLiteral("タイマー")) != MsgAnswer::Yes)
            return;
        windows().runSelectedPage();
    }
}

int frmEstablish::chkFolder1() { return checkValue(controls().chkFolder1); }
QString frmEstablish::txtFolderPath1() { return controls().txtFolderPath1->text(); }
int frmEstablish::chkFolder2() { return checkValue(controls().chkFolder2); }
QString frmEstablish::txtFolderPath2() { return controls().txtFolderPath2->text(); }
int frmEstablish::chkUwa() { return checkValue(controls().chkUwa); }
int frmEstablish::chkMsg1() { return checkValue(controls().chkMsg1); }
int frmEstablish::chkMsg2() { return checkValue(controls().chkMsg2); }
int frmEstablish::chkEnd() { return checkValue(controls().chkEnd); }
int frmEstablish::chkTime() { return checkValue(controls().chkTime); }
QString frmEstablish::txtBackup1() { return controls().txtBackup1->text(); }
QString frmEstablish::txtBackup2() { return controls().txtBackup2->text(); }
QString frmEstablish::txtBackup3() { return controls().txtBackup3->text(); }
void frmEstablish::setChkUwa(int value) { setCheckValue(controls().chkUwa, value); }
QString frmEstablish::txtRireki() { return historyText(controls().txtRireki); }
void frmEstablish::setTxtRireki(const QString &text) { setHistoryText(controls().txtRireki, text); }
bool frmEstablish::loadedWhole()
{
    Load();
    return m_historyLoadedWhole;
}
void frmEstablish::setTxtFolderPath1(const QString &path) { controls().txtFolderPath1->setText(path); }
void frmEstablish::setTxtFolderPath2(const QString &path) { controls().txtFolderPath2->setText(path); }
