#include "app/frmMain.h"

#include "core/AppInfo.h"
#include "core/SequentialFile.h"
#include "forms/FormWindow.h"
#include "forms/Placement.h"
#include "forms/Windows.h"
#include "widgets/DriveList.h"

#include <QDir>
#include <QFontMetricsF>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include <iterator>

namespace {

const QString PathDatFile = QStringLiteral("Path.dat");
const QString LockedCaption = QStringLiteral("変更");
const QString EditingCaption = QStringLiteral("OK");
const QString NotReadyText = QStringLiteral("デバイスの準備が出来ていません！");
// The older program's title: the not-ready box has always carried it.
const QString NotReadyTitle = QStringLiteral("BK(Brightkeep)Vr.2");
const QString SaveFailedText = QStringLiteral("フォルダ名を保存できませんでした。\n%1");

QPushButton *button(QWidget *parent, const QString &caption, const QString &toolTip = {})
{
    auto *b = new QPushButton(caption, parent);
    b->setToolTip(toolTip);
    return b;
}

} // namespace

struct frmMain::Controls {
    QTabWidget *SSTab = nullptr;
    QLabel *lblSetsumei1 = nullptr;
    QLabel *lblSetsumei2 = nullptr;
    QLabel *lblSetsumei3 = nullptr;
    QLabel *lblSetsumei4 = nullptr;
    DriveList *Drive1 = nullptr;
    DriveList *Drive2 = nullptr;
    QLineEdit *txtBackup = nullptr;
    QPushButton *cmdHenko = nullptr;
    QPushButton *Command1 = nullptr; // opens the settings (the settings' Command1 clears the history)
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdCancel = nullptr;
    QPushButton *cmdVr = nullptr;
    // The hidden folders of the two drives: the only thing kept of a
    // directory list is its path, a native root folder such as
    // "/home/user/", and the mount it lay on when its drive was chosen.
    DriveEntry Dir1;
    DriveEntry Dir2;
};

frmMain::frmMain(Windows &windows) : Form(windows) {}

frmMain::~frmMain() = default;

QWidget *frmMain::createWindow()
{
    auto *window = new FormWindow(QStringLiteral("frmMain"), AppInfo::MainTitle, FormWindow::Frame::Main);
    window->setFixedClientSize(twipsSize(6210, 5100));

    c = std::make_unique<Controls>();
    FileSystemService &fileSystem = windows().platform().fileSystem;

    // The tab control first, so the controls over it are stacked above it.
    c->SSTab = place(new QTabWidget(window), QStringLiteral("SSTab"), twips(0, 0, 6195, 4095));
    auto *page0 = new QWidget;
    auto *page1 = new QWidget;
    c->SSTab->addTab(page0, QStringLiteral("バックアップ(&B)"));
    c->SSTab->addTab(page1, QStringLiteral("復旧(&H)"));
    c->SSTab->setCurrentIndex(0);

    // The page labels are laid out in window coordinates like everything
    // else; each shows only while its page is selected.
    const auto pageLabel = [&](QWidget *page, const QString &name, QRect where,
                               const QString &text = {}) {
        auto *label = new QLabel(text, window);
        connect(c->SSTab, &QTabWidget::currentChanged, label,
                [label, page, tabs = c->SSTab] { label->setVisible(tabs->currentWidget() == page); });
        label->setVisible(c->SSTab->currentWidget() == page);
        placeLine(label, name, where);
        if (!text.isEmpty())
            shrinkToFit(label);
        return label;
    };
    c->lblSetsumei1 = pageLabel(page0, QStringLiteral("lblSetsumei1"), twips(480, 1440, 1575, 1335));
    c->lblSetsumei2 = pageLabel(page0, QStringLiteral("lblSetsumei2"), twips(3960, 1440, 1575, 1335));
    pageLabel(page0, QStringLiteral("Label1"), twips(240, 2520, 2085, 180),
              QStringLiteral("バックアップするフォルダ名"));
    c->lblSetsumei3 = pageLabel(page1, QStringLiteral("lblSetsumei3"), twips(480, 1440, 1935, 615));
    c->lblSetsumei4 = pageLabel(page1, QStringLiteral("lblSetsumei4"), twips(3720, 1440, 1935, 615));
    pageLabel(page1, QStringLiteral("Label2"), twips(720, 2520, 1515, 180),
              QStringLiteral("復旧するフォルダ名"));
    for (QLabel *label : {c->lblSetsumei1, c->lblSetsumei2, c->lblSetsumei3, c->lblSetsumei4}) {
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }

    // Both lists start on the current drive; that is no change, so no check runs.
    const auto driveList = [&](const QString &name, QRect where) {
        auto *list = new DriveList(fileSystem, windows().platform().mounts, window);
        list->setDrive(fileSystem.CurrentDrive());
        return placeLine(list, name, where);
    };
    c->Drive1 = driveList(QStringLiteral("Drive1"), twips(480, 960, 1935, 300));
    c->Drive2 = driveList(QStringLiteral("Drive2"), twips(3720, 960, 1935, 300));

    c->txtBackup = placeLine(new QLineEdit(AppInfo::MainTitle, window), QStringLiteral("txtBackup"),
                             twips(2400, 2500, 2175, 270));
    c->txtBackup->setEnabled(false);
    c->cmdHenko = place(button(window, LockedCaption), QStringLiteral("cmdHenko"),
                        twips(4680, 2470, 855, 375));
    c->Command1 = place(button(window, QStringLiteral("詳細設定(&S)")), QStringLiteral("Command1"),
                        twips(2520, 3360, 1215, 495));
    c->cmdOK = place(button(window, QStringLiteral("開始(&O)"),
                            QStringLiteral("指定先に､バックアップを開始します。")),
                     QStringLiteral("cmdOK"), twips(360, 4320, 1575, 550));
    c->cmdCancel = place(button(window, QStringLiteral("中止(&C)"),
                                QStringLiteral("プログラムの終了です。")),
                         QStringLiteral("cmdCancel"), twips(2400, 4320, 1575, 550));
    c->cmdVr = place(button(window, QStringLiteral("バージョン情報(&V)"),
                            QStringLiteral("バージョン情報です。")),
                     QStringLiteral("cmdVr"), twips(4440, 4320, 1575, 550));
    c->cmdOK->setDefault(true);
    for (QPushButton *caption : {c->Command1, c->cmdOK, c->cmdCancel, c->cmdVr})
        shrinkToFit(caption);

    QWidget *const tabOrder[] = {c->cmdOK, c->cmdCancel, c->cmdVr, c->Command1, c->SSTab,
                                 c->Drive1, c->Drive2, c->txtBackup, c->cmdHenko};
    for (size_t i = 1; i < std::size(tabOrder); ++i)
        QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);
    c->cmdOK->setFocus();

    connect(c->cmdHenko, &QPushButton::clicked, this, [this] { cmdHenko_Click(); });
    connect(c->Drive1, &DriveList::driveChanged, this, [this] { Drive1_Change(); });
    connect(c->Drive2, &DriveList::driveChanged, this, [this] { Drive2_Change(); });
    connect(c->cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    connect(c->cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
    connect(c->cmdVr, &QPushButton::clicked, this, [this] { cmdVr_Click(); });
    connect(c->Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    return window;
}

void frmMain::unloading()
{
    c.reset();
}

void frmMain::Form_Load()
{
    c->lblSetsumei1->setText(QStringLiteral("バックアップする元のドライブを指定してください。"));
    c->lblSetsumei2->setText(QStringLiteral("バックアップする先のドライブを指定してください。"));
    c->lblSetsumei3->setText(QStringLiteral("復旧元ドライブを指定してください。"));
    c->lblSetsumei4->setText(QStringLiteral("復旧先ドライブを指定してください。"));
    strStartDrive1 = c->Drive1->shownDrive();
    // Drive1 on purpose: both lists show the same drive at load.
    strStartDrive2 = c->Drive1->shownDrive();
    c->cmdHenko->setText(LockedCaption);

    const Result<void> started = pointFoldersAtDriveC();
    if (!started && started.error().number != ErrorNumber::FileNotFound) {
        // Drive A: names no folder here, so both folders end up empty and a
        // run started before a drive is picked fails instead of copying
        // from a guessed place.
        (void)setFolder(c->Dir1, QStringLiteral("A:"));
        (void)setFolder(c->Dir2, QStringLiteral("A:"));
    }
}

// Start-up steps that may fail: the folders at C:, the name from Path.dat.
Result<void> frmMain::pointFoldersAtDriveC()
{
    for (DriveEntry *folder : {&c->Dir1, &c->Dir2})
        if (Result<void> set = setFolder(*folder, QStringLiteral("C:")); !set)
            return set;
    Result<SequentialReader> file = SequentialReader::open(PathDatFile);
    if (!file)
        return file.error();
    const Result<QString> strFolderName = file.value().readField();
    if (!strFolderName)
        return strFolderName.error();
    c->txtBackup->setText(*strFolderName);
    return {};
}

void frmMain::cmdHenko_Click()
{
    if (c->cmdHenko->text() == LockedCaption) {
        c->txtBackup->setEnabled(true);
        c->cmdHenko->setText(EditingCaption);
        return;
    }
    if (!saveFolderName(c->txtBackup->text()))
        return; // still editing: nothing typed is lost
    c->txtBackup->setEnabled(false);
    c->cmdHenko->setText(LockedCaption);
}

bool frmMain::saveFolderName(const QString &name)
{
    SequentialWriter file;
    file.writeLine(name);
    if (file.commit(PathDatFile))
        return true;
    windows().platform().messageBoxes.MsgBox(SaveFailedText.arg(QDir::current().absoluteFilePath(PathDatFile)),
                                             MsgButtons::OK, MsgIcon::Exclamation);
    return false;
}

void frmMain::Drive1_Change()
{
    if (driveReady(*c->Drive1, c->Dir1))
        return;
    if (userRetries()) {
        Drive1_Change();
        const DriveEntry shown = c->Drive1->shownDrive();
        c->Dir1 = windows().platform().fileSystem.IsReady(shown) ? shown : DriveEntry{};
        return;
    }
    showStartDrive(*c->Drive1, strStartDrive1);
}

void frmMain::Drive2_Change()
{
    if (driveReady(*c->Drive2, c->Dir2))
        return;
    if (userRetries()) {
        Drive2_Change();
        showStartDrive(*c->Drive2, strStartDrive2);
    }
    // Cancel: the list stays on the drive that is not ready, Dir2 unchanged.
}

bool frmMain::driveReady(const DriveList &list, DriveEntry &folder)
{
    // The entry names its mount: a drive that left is not ready, whatever
    // holds its letter now.
    const DriveEntry strCheckDrive = list.shownDrive();
    if (!windows().platform().fileSystem.IsReady(strCheckDrive))
        return false;
    folder = strCheckDrive;
    return true;
}

bool frmMain::userRetries()
{
    return windows().platform().messageBoxes.MsgBox(NotReadyText, MsgButtons::RetryCancel,
                                                    MsgIcon::Exclamation, NotReadyTitle)
           == MsgAnswer::Retry;
}

void frmMain::showStartDrive(DriveList &list, const DriveEntry &startDrive)
{
    if (!list.setDrive(startDrive) && !list.setDrive(QStringLiteral("A")))
        list.setDrive(QStringLiteral("C"));
}

Result<void> frmMain::setFolder(DriveEntry &folder, const QString &drive)
{
    FileSystemService &fileSystem = windows().platform().fileSystem;
    Result<DriveEntry> entry = fileSystem.GetDrive(fileSystem.GetDriveName(drive));
    if (entry && !fileSystem.IsReady(*entry))
        entry = Error{ErrorNumber::DeviceUnavailable, QStringLiteral("Drive not ready: ") + drive};
    folder = entry ? *entry : DriveEntry{};
    if (!entry)
        return entry.error();
    return {};
}

void frmMain::cmdOK_Click()
{
    windows().runSelectedPage();
}

void frmMain::cmdCancel_Click()
{
    windows().platform().ender.endNow();
}

void frmMain::cmdVr_Click()
{
    windows().showAbout();
    Unload();
}

void frmMain::Command1_Click()
{
    windows().showSettings(this);
}

DriveEntry frmMain::Dir1Drive()
{
    Load();
    return c->Dir1;
}

DriveEntry frmMain::Dir2Drive()
{
    Load();
    return c->Dir2;
}

QString frmMain::txtBackupText()
{
    Load();
    return c->txtBackup->text();
}

int frmMain::selectedPage()
{
    Load();
    return c->SSTab->currentIndex();
}
