#include "core/RunGate.h"
#include "fakes/SshfsMount.h"
#include "platform/LinuxDriveTable.h"
#include "widgets/DirectoryList.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>

// The classic directory list: ancestors above the open folder, then its
// subfolders; only opening a folder is a change.
class TestDirectoryList : public QObject {
    Q_OBJECT

private slots:
    void init();
    void showsAncestorsFromTopThenSubfolders();
    void topKeepsItsSlash();
    void folderOutsideTopFallsBackToFileSystemRoot();
    void missingFolderIsRefusedWithoutChange();
    void reopeningTheSameFolderIsNoChange();
    void highlightingIsNoChangeEnterOpens();
    void doubleClickOpensAnAncestor();
    void hungServerIsNotReadyAndNothingWaitsForIt();

private:
    QStringList shownTexts() const;
    QTreeWidgetItem *itemNamed(const QString &text) const;

    std::unique_ptr<QTemporaryDir> m_tmp;
    std::unique_ptr<DirectoryList> m_list;
    QString m_top; // with trailing '/', like a drive root
};

void TestDirectoryList::init()
{
    m_tmp = std::make_unique<QTemporaryDir>();
    m_top = m_tmp->path() + QLatin1Char('/');
    for (const char *folder : {"a/b/c", "a/b/d", "a/B2", "a/.hidden", "e"})
        QVERIFY(QDir(m_tmp->path()).mkpath(QString::fromLatin1(folder)));
    m_list = std::make_unique<DirectoryList>();
    m_list->resize(300, 300);
}

QStringList TestDirectoryList::shownTexts() const
{
    QStringList texts;
    for (QTreeWidgetItemIterator it(m_list.get()); *it; ++it)
        texts << QString((*it)->childCount() || *it == m_list->currentItem() ? "+" : "-")
                     + (*it)->text(0);
    return texts;
}

QTreeWidgetItem *TestDirectoryList::itemNamed(const QString &text) const
{
    const auto found = m_list->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
}

void TestDirectoryList::showsAncestorsFromTopThenSubfolders()
{
    QVERIFY(m_list->setPath(m_tmp->path() + "/a/b", m_top));
    QCOMPARE(m_list->path(), m_tmp->path() + "/a/b");
    // "+" marks the chain down to the open folder, "-" its subfolders;
    // dot-folders are not listed.
    QCOMPARE(shownTexts(), (QStringList{"+" + m_top, "+a", "+b", "-c", "-d"}));
    QCOMPARE(m_list->currentItem()->text(0), QStringLiteral("b"));

    QVERIFY(m_list->setPath(m_tmp->path() + "/a"));
    QCOMPARE(shownTexts(), (QStringList{"+" + m_top, "+a", "-b", "-B2"}));
}

void TestDirectoryList::topKeepsItsSlash()
{
    QVERIFY(m_list->setPath(m_top, m_top));
    QCOMPARE(m_list->path(), m_top);
    QCOMPARE(shownTexts(), (QStringList{"+" + m_top, "-a", "-e"}));
}

void TestDirectoryList::folderOutsideTopFallsBackToFileSystemRoot()
{
    QVERIFY(m_list->setPath(m_tmp->path() + "/e", m_tmp->path() + "/a"));
    QCOMPARE(m_list->topLevelItem(0)->text(0), QStringLiteral("/"));
    QCOMPARE(m_list->path(), m_tmp->path() + "/e");
}

void TestDirectoryList::missingFolderIsRefusedWithoutChange()
{
    QVERIFY(m_list->setPath(m_tmp->path() + "/a", m_top));
    QSignalSpy changes(m_list.get(), &DirectoryList::pathChanged);
    QVERIFY(!m_list->setPath(m_tmp->path() + "/nothing", m_top));
    QVERIFY(!m_list->setPath(QString()));
    QVERIFY(!m_list->setPath(QStringLiteral("relative/a")));
    QCOMPARE(m_list->path(), m_tmp->path() + "/a");
    QCOMPARE(changes.count(), 0);
}

void TestDirectoryList::reopeningTheSameFolderIsNoChange()
{
    QSignalSpy changes(m_list.get(), &DirectoryList::pathChanged);
    QVERIFY(m_list->setPath(m_tmp->path() + "/a", m_top));
    QVERIFY(m_list->setPath(m_tmp->path() + "/a/", m_top));
    QCOMPARE(changes.count(), 1);
}

void TestDirectoryList::highlightingIsNoChangeEnterOpens()
{
    QVERIFY(m_list->setPath(m_tmp->path() + "/a", m_top));
    QSignalSpy changes(m_list.get(), &DirectoryList::pathChanged);
    m_list->setCurrentItem(itemNamed("B2"));
    QTest::keyClick(m_list.get(), Qt::Key_Down);
    QCOMPARE(changes.count(), 0);
    QCOMPARE(m_list->path(), m_tmp->path() + "/a");

    m_list->setCurrentItem(itemNamed("b"));
    QTest::keyClick(m_list.get(), Qt::Key_Return);
    QCOMPARE(changes.count(), 1);
    QCOMPARE(m_list->path(), m_tmp->path() + "/a/b");
}

void TestDirectoryList::doubleClickOpensAnAncestor()
{
    QVERIFY(m_list->setPath(m_tmp->path() + "/a/b/c", m_top));
    QSignalSpy changes(m_list.get(), &DirectoryList::pathChanged);
    m_list->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_list.get()));
    const QRect rect = m_list->visualItemRect(itemNamed("a"));
    // A single click only highlights.
    QTest::mouseClick(m_list->viewport(), Qt::LeftButton, {}, rect.center());
    QCOMPARE(changes.count(), 0);
    QTest::mouseDClick(m_list->viewport(), Qt::LeftButton, {}, rect.center());
    QCOMPARE(changes.count(), 1);
    QCOMPARE(m_list->path(), m_tmp->path() + "/a");
}

// A network drive whose server stopped answering: the drive is not ready,
// has no free space to tell and its folders do not open, and each question
// comes back (the time-out) instead of hanging the window.
void TestDirectoryList::hungServerIsNotReadyAndNothingWaitsForIt()
{
    SshfsMount server(m_tmp->path());
    if (!server.why().isEmpty())
        QSKIP(qPrintable(server.why()));
    LinuxDriveTable table;
    const QList<DriveEntry> drives = table.drives();
    const auto drive = std::find_if(drives.cbegin(), drives.cend(), [&](const DriveEntry &entry) {
        return entry.mountPoint == server.mountPoint();
    });
    QVERIFY(drive != drives.cend());
    QVERIFY(table.isReady(*drive));
    QVERIFY(table.freeSpace(*drive).ok());
    QVERIFY(m_list->setPath(server.mountPoint(), drive->root));

    server.stopServer();
    // The window goes on meanwhile: a timer ticks (the longest gap is what
    // bench/hung_drive.sh reads) and finds the gate shut, as during a run.
    QElapsedTimer sinceTick;
    qint64 latest = 0;
    int ticks = 0, gateShut = 0;
    QTimer ping;
    connect(&ping, &QTimer::timeout, this, [&] {
        latest = std::max(latest, sinceTick.restart());
        gateShut += ++ticks && RunGate().busy();
    });
    sinceTick.start();
    ping.start(10);
    QVERIFY(!m_list->setPath(server.mountPoint() + QStringLiteral("/sub"), drive->root));
    QVERIFY(ticks > 0 && gateShut == ticks);
    QCOMPARE(m_list->path(), drive->root);
    for (int ask = 0; ask < 2; ++ask) { // the second while the first still hangs
        QVERIFY(!table.isReady(*drive));
        QCOMPARE(table.freeSpace(*drive).error().number, ErrorNumber::DiskNotReady);
    }
    ping.stop();
    qInfo("hung drive: longest gap between the ticks of a 10 ms timer %lld ms (%d ticks)", qlonglong(latest), ticks);
    QVERIFY(!RunGate().busy());
}

QTEST_MAIN(TestDirectoryList)
#include "tst_directorylist.moc"
