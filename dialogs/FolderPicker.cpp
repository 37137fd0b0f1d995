#include "dialogs/FolderPicker.h"

#include "forms/FormWindow.h"
#include "forms/Placement.h"
#include "forms/Windows.h"
#include "widgets/DirectoryList.h"
#include "widgets/DriveList.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {
const QString DriveC = QStringLiteral("C:");
const QString DriveA = QStringLiteral("A:");
constexpr int ClientWidth = 6570;
} // namespace

// The controls the handlers read and set.
struct FolderPicker::Controls {
    QLineEdit *txtFileName;
    DriveList *Drive1;
    DirectoryList *Dir1;
};

FolderPicker::FolderPicker(Windows &windows, Setup setup) : Form(windows), m_setup(std::move(setup)) {}

FolderPicker::~FolderPicker() = default;

QWidget *FolderPicker::createWindow()
{
    FileSystemService &fileSystem = windows().platform().fileSystem;
    auto *window = new FormWindow(m_setup.name, m_setup.title, FormWindow::Frame::Tool);
    window->setFixedClientSize(twipsSize(ClientWidth, m_setup.clientHeight));

    m_c = std::make_unique<Controls>();
    Controls &c = *m_c;
    auto *Label1 = place(new QLabel(QStringLiteral("ファイル名(&N)"), window), "Label1",
                         twips(360, 240, 1215, 375));
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop); // level with the text of its box
    c.txtFileName = place(new QLineEdit(window), "txtFileName", twips(1800, 240, m_setup.txtFileNameWidth, 270));
    Label1->setBuddy(c.txtFileName);
    auto *cmdOpen = place(new QPushButton(QStringLiteral("OK"), window), "cmdOpen",
                          twips(5040, m_setup.cmdOpenTop, 1215, 495));
    cmdOpen->setDefault(true);
    auto *cmdExit = place(new QPushButton(QStringLiteral("閉じる"), window), "cmdExit",
                          twips(5040, m_setup.cmdExitTop, 1215, 495));
    // Until Form_Load moves them, the lists show where the process stands.
    c.Drive1 = place(new DriveList(fileSystem, windows().platform().mounts, window), "Drive1",
                     twips(120, 960, 4335, 300));
    c.Drive1->setDrive(fileSystem.CurrentDrive());
    c.Dir1 = place(new DirectoryList(window), "Dir1", twips(120, 1440, 4335, m_setup.Dir1Height));
    const auto current = fileSystem.GetDrive(fileSystem.CurrentDrive());
    c.Dir1->setPath(QDir::currentPath(), current ? current->root : QString());

    QWidget::setTabOrder(c.txtFileName, cmdOpen);
    QWidget::setTabOrder(cmdOpen, cmdExit);
    QWidget::setTabOrder(cmdExit, c.Drive1);
    QWidget::setTabOrder(c.Drive1, c.Dir1);

    connect(c.Drive1, &DriveList::driveChanged, this, [this] { Drive1_Change(); });
    connect(c.Dir1, &DirectoryList::pathChanged, this, [this] { Dir1_Change(); });
    connect(c.txtFileName, &QLineEdit::textChanged, this, [this] { txtFileName_Change(); });
    connect(cmdOpen, &QPushButton::clicked, this, [this] { cmdOpen_Click(); });
    connect(cmdExit, &QPushButton::clicked, this, [this] { cmdExit_Click(); });
    return window;
}

void FolderPicker::unloading()
{
    m_c.reset();
}

void FolderPicker::Form_Load()
{
    if (m_c->Drive1->setDrive(DriveC) || m_c->Drive1->setDrive(DriveA))
        return;
    reportFatalError();
}

void FolderPicker::Drive1_Change()
{
    if (openDrive(m_c->Drive1->shownDrive()))
        return;
    windows().platform().messageBoxes.MsgBox(
        QStringLiteral("デバイスの準備が出来ていません！！　準備が出来てから､再度実行してください。"));
    // Going back to C: runs this handler again, now for C:.
    if (!m_c->Drive1->setDrive(DriveC))
        m_c->Drive1->setDrive(DriveA);
}

void FolderPicker::Dir1_Change()
{
    m_c->txtFileName->setText(m_c->Dir1->path());
}

void FolderPicker::txtFileName_Change()
{
    m_strFileName = m_c->txtFileName->text();
}

void FolderPicker::cmdOpen_Click()
{
    windows().pathPicked(m_setup.side, m_strFileName);
    if (m_setup.okShowsSettings)
        windows().showSettings(nullptr);
    Unload();
}

void FolderPicker::cmdExit_Click()
{
    windows().showSettings(nullptr);
    Unload();
}

// Opens the drive's current folder in Dir1; false when the drive is not
// ready or has left, and Dir1 then keeps what it showed.
bool FolderPicker::openDrive(const DriveEntry &drive)
{
    if (!windows().platform().fileSystem.IsReady(drive))
        return false;
    return m_c->Dir1->setPath(currentFolderOn(drive.name, drive.root), drive.root);
}

// A drive's current folder is the working directory when it lies on that
// drive, else the drive's root.
QString FolderPicker::currentFolderOn(const QString &driveName, const QString &root) const
{
    const QString workingDirectory = QDir::currentPath();
    const QString driveOfWorkingDirectory = windows().platform().fileSystem.GetDriveName(workingDirectory);
    return driveOfWorkingDirectory.compare(driveName, Qt::CaseInsensitive) == 0 ? workingDirectory
                                                                                : root;
}

void FolderPicker::reportFatalError()
{
    Platform &platform = windows().platform();
    platform.reportUnexpectedError(
        {QStringLiteral("エラーが発生しました！！"),
         QStringLiteral("原因がわかる場合は解決して､わからない場合は､作者に知らせてください。")});
    platform.ender.endNow();
}
