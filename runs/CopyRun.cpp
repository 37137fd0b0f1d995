#include "runs/CopyRun.h"

#include "core/AppInfo.h"
#include "core/PathRules.h"
#include "runs/RunLog.h"

#include <QSettings>
#include <QTime>

namespace {
const QString EndingWords = QStringLiteral("正常終了します。");
const QString AskForFolderName = QStringLiteral("フォルダ名を正しく入力してください。");
const QString ShortOfSpace = QStringLiteral("空き容量が足りません。空き容量を確保してください。");
const QString FolderNotFound1 = QStringLiteral("フォルダが見つかりません！もう一度､");
const QString FolderNotFound2 = QStringLiteral("フォルダを確認してみてください。");
const QString OverwriteQuestion = QStringLiteral("フォルダと同名のフォルダが存在します。上書きしますか？");
const QString OverwriteTitle = QStringLiteral("上書き確認");
const QString PermissionDenied =
    QStringLiteral("書き込み不能のフォルダを指定しています。\r\n設定をしなおしてください!!");
const QString UnexpectedError = QStringLiteral(
    "エラーが発生しました。原因がわかる場合は､解決し､わからない場合は､作者に連絡ください。");
const QString TimerRunFailed = QStringLiteral("タイマーによる%1が失敗しました: %2");

// How many runs' old versions stay where nothing else is said.
constexpr int DefaultKeptVersions = 10;

// versions= in tandemix.conf beside the data files, which the program only
// reads: how many runs' old versions stay, 0 for none.
int keptVersions(const DataDirectory &data)
{
    const QSettings conf(data.filePath(QStringLiteral("tandemix.conf")), QSettings::IniFormat);
    bool ok = false;
    const int keep = conf.value(QStringLiteral("versions")).toInt(&ok);
    return ok && keep >= 0 ? keep : DefaultKeptVersions;
}

// The run's start as its versions are filed: "YYYY-MM-DD HHMMSS", no
// colons, which FAT refuses.
QString versionsStamp(const Clock &clock)
{
    const QTime time = QTime::fromString(clock.timeText(), QStringLiteral("H:mm:ss"));
    return QString(clock.dateText()).replace(QLatin1Char('/'), QLatin1Char('-')) + QLatin1Char(' ')
           + time.toString(QStringLiteral("HHmmss"));
}

// True only for a check box left clear. A greyed one (2, which a settings
// file may hold) is not on, so the paths use the folder name; yet the
// messages treat it as naming a separate source, as they always have.
bool isClear(int checkValue)
{
    return checkValue == 0;
}
} // namespace

void CopyRun::Run()
{
    // The timer starts nothing while this run, or the run it repeats, goes on.
    RunGate::Hold hold(m_context.gate);
    Result<void> done = Steps();
    if (done)
        return;
    if (done.error().number == ErrorNumber::UserInterrupt)
        Stopped();
    else
        OnError(done.error());
}

// The user stopped the copy: nothing failed, so no error report, and the
// run neither records an entry nor ends the program.
void CopyRun::Stopped()
{
    SetBusy(false);
    MsgBox(m_kind.stopped);
}

Result<void> CopyRun::Steps()
{
    const DriveEntry dir2 = m_context.mainWindow.Dir2Drive();
    // Read from the drive Dir2 shows, also with a separate destination
    // elsewhere: looked up by its folder, a stick pulled out would be the
    // disk below its bare mount point. Fails early when it is not ready.
    const Result<qint64> freeBefore = m_context.platform.fileSystem.FreeSpace(dir2);
    if (!freeBefore)
        return freeBefore.error();
    // Read before the first option, which may load the settings dialog.
    m_folderName = m_context.mainWindow.txtBackupText();
    if (!BuildPaths(dir2))
        return {};

    SetBusy(true);
    if (Result<void> copied = CopyFolder(); !copied)
        return copied;
    // Only what the copy added took free space: a repeat replaces the copy
    // the drive holds already.
    if (m_kind.comparesFreeSpace && *freeBefore - m_counts.bytesAdded < 0) {
        SetBusy(false);
        MsgBox(ShortOfSpace);
        return {};
    }
    if (const Result<void> added = AddHistoryEntry(); !added) {
        // The entry stays in txtRireki; the failure concerns the history
        // file, not the folder, so no folder message fits it.
        Log(added.error());
        SetBusy(false);
        ReportUnexpectedError(added.error());
        return {};
    }
    SetBusy(false);
    Complete();
    return {};
}

bool CopyRun::BuildPaths(const DriveEntry &dir2)
{
    RunOptions &options = m_context.options;
    m_roots.clear();
    const bool separateSource = isOn(options.chkFolder1());
    if (separateSource) {
        m_source = options.txtFolderPath1();
    } else {
        const DriveEntry dir1 = m_context.mainWindow.Dir1Drive();
        m_roots.append(dir1);
        m_source = dir1.root + m_folderName;
    }
    const bool separateDestination = isOn(options.chkFolder2());
    if (!separateDestination)
        m_roots.append(dir2);
    m_baseName = GetBaseName(m_source);
    const DestinationParts parts{.dir2 = dir2.root,
                                 .separateDestination = separateDestination,
                                 .txtFolderPath2 = separateDestination ? options.txtFolderPath2()
                                                                       : QString(),
                                 .separateSource = separateSource,
                                 .folderName = m_folderName,
                                 .baseName = m_baseName};
    const QString name = m_kind.destinationName(parts);
    m_destination = m_kind.destinationDirectory(parts) + name;
    // An empty name would copy a whole drive root, or into one.
    if ((!separateSource && !IsFolderName(m_folderName)) || !IsFolderName(name)) {
        MsgBox(AskForFolderName, MsgButtons::OK, MsgIcon::Exclamation);
        return false;
    }
    return true;
}

// A stick pulled after its drive was chosen leaves its bare mount point
// behind, on the disk below: nothing may be written there, and nothing
// read from there as if it were the stick.
Result<void> CopyRun::RootsStillMounted()
{
    for (const DriveEntry &drive : std::as_const(m_roots))
        if (!m_context.platform.fileSystem.IsReady(drive))
            return diskNotReady(drive);
    return {};
}

Result<void> CopyRun::CopyFolder()
{
    if (Result<void> mounted = RootsStillMounted(); !mounted)
        return mounted;
    const Platform &platform = m_context.platform;
    // Every run reads back what it wrote: a fake or worn stick takes writes
    // it cannot return.
    const CopyOptions options{.overwrite = isOn(m_context.options.chkUwa()),
                              .check = true,
                              .keepVersions = keptVersions(platform.dataDirectory),
                              .versionsStamp = versionsStamp(platform.clock)};
    FileSystemService &fileSystem = m_context.platform.fileSystem;
    const QString source = m_source;
    const QString destination = m_destination;
    // Off the user-interface thread: only the file system is touched here.
    Result<void> copied = m_context.platform.copyProgress.run(
        m_kind.progressCaption, [&](CopyProgressObserver &observer) -> Result<void> {
            return fileSystem.CopyFolder(source, destination, options, &observer, &m_counts);
        });
    // A restore into a folder whose parent the user cannot write would name
    // every file: the log names the first ones and counts the rest.
    constexpr qsizetype Named = 100;
    for (const QString &entry : m_counts.notKept.mid(0, Named))
        LogLine(QStringLiteral("old version not kept, replaced: ") + entry);
    if (m_counts.notKept.size() > Named)
        LogLine(QStringLiteral("old versions not kept, replaced: %1 more").arg(m_counts.notKept.size() - Named));
    // Whatever came of the run: what it claims to have read from the
    // device is on record.
    if (!m_counts.throughCache.isEmpty())
        LogLine(m_counts.throughCache);
    return copied;
}

Result<void> CopyRun::AddHistoryEntry()
{
    const Platform &platform = m_context.platform;
    return HistoryLog::AppendAndSave(
        m_context.history, platform.dataDirectory,
        HistoryLog::Entry(platform.clock.dateText(), platform.clock.timeText(), m_kind.labels,
                          m_source, m_destination));
}

void CopyRun::Complete()
{
    const bool message = isOn(m_context.options.chkMsg2());
    const bool end = isOn(m_context.options.chkEnd());
    if (message)
        MsgBox(end ? m_kind.completed + EndingWords : m_kind.completed);
    if (end)
        m_context.platform.ender.endNow();
}

void CopyRun::OnError(const Error &error)
{
    Log(error);
    SetBusy(false);
    switch (error.number) {
    case ErrorNumber::PathNotFound: {
        const QString name = NotFoundName();
        MsgBox(name + FolderNotFound1 + name + FolderNotFound2);
        m_context.platform.programs.startFileExplorer();
        return;
    }
    case ErrorNumber::FileAlreadyExists:
        // A separate source has no folder name to ask about: stay silent.
        if (isClear(m_context.options.chkFolder1())
            && MsgBox(m_folderName + OverwriteQuestion, MsgButtons::YesNo, MsgIcon::Critical,
                      OverwriteTitle) == MsgAnswer::Yes) {
            m_context.options.setChkUwa(1);
            m_kind.repeat(m_context);
        }
        return;
    case ErrorNumber::PermissionDenied:
        if (m_kind.reportsPermissionDenied) {
            MsgBox(PermissionDenied);
            return;
        }
        break;
    default:
        break;
    }
    ReportUnexpectedError(error);
}

// The general error report: the box, then the address; the box's details
// lead to the cause, which its text does not name.
void CopyRun::ReportUnexpectedError(const Error &error)
{
    Platform &platform = m_context.platform;
    const QString details = QStringLiteral("エラー番号: %1\n%2\n記録: %3")
                                .arg(error.number)
                                .arg(error.description,
                                     RunLog::FilePath(platform.dataDirectory.stateDirectory()));
    platform.reportUnexpectedError({UnexpectedError}, details);
}

// The boxes' text names no cause; the run log keeps it. A run the timer
// started may have nobody at the screen: the desktop is told as well.
void CopyRun::Log(const Error &error)
{
    const Platform &platform = m_context.platform;
    LogLine(QStringLiteral("%1 %2").arg(error.number).arg(error.description));
    if (m_context.gate.byTimer())
        platform.notifications.notify(AppInfo::Title, TimerRunFailed.arg(m_kind.logName, error.description));
}

void CopyRun::LogLine(const QString &what)
{
    const Platform &platform = m_context.platform;
    RunLog::Append(platform.dataDirectory.stateDirectory(),
                   QStringLiteral("%1 %2 %3 %4")
                       .arg(platform.clock.dateText(), platform.clock.timeText(), m_kind.logName, what));
}

QString CopyRun::NotFoundName()
{
    if (m_kind.namesSeparateSourceByBaseName && !isClear(m_context.options.chkFolder1()))
        return m_baseName;
    return m_folderName;
}

MsgAnswer CopyRun::MsgBox(const QString &text, MsgButtons buttons, MsgIcon icon,
                          const QString &title)
{
    return m_context.platform.messageBoxes.MsgBox(text, buttons, icon, title);
}
