// The path and drive rules every run and drive query goes by.

#include "core/Drive.h"
#include "core/PathRules.h"

#include <QtTest>

class TstRules : public QObject {
    Q_OBJECT

private slots:
    void baseNameIsTheLastElementWithoutExtension_data();
    void baseNameIsTheLastElementWithoutExtension();
    void folderNameNeverClimbsOutOfItsRoot_data();
    void folderNameNeverClimbsOutOfItsRoot();
    void pathFindsTheDriveWithTheLongestFolder_data();
    void pathFindsTheDriveWithTheLongestFolder();
};

void TstRules::baseNameIsTheLastElementWithoutExtension_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("baseName");
    QTest::newRow("E:\\Work\\Report.old") << "/media/E/Work/Report.old" << "Report";
    QTest::newRow("D:\\Mail.box") << "/media/D/Mail.box" << "Mail";
    QTest::newRow("D:\\Data") << "/media/D/Data" << "Data";
    QTest::newRow("dot-folder") << "/home/u/.config" << ".config";
    QTest::newRow("dot-folder with extension") << "/home/u/.local.old" << ".local";
    QTest::newRow("two leading dots") << "/a/..config" << "..config";
    QTest::newRow("two leading dots with extension") << "/a/..config.old" << "..config";
    QTest::newRow("only the last extension goes") << "/a/backup.tar.gz" << "backup.tar";
    QTest::newRow("trailing separator") << "/a/Data/" << "Data";
    QTest::newRow("trailing separators") << "/a/Data//" << "Data";
    QTest::newRow("dot in a folder above") << "/a.b/Data" << "Data";
    QTest::newRow("Japanese") << "/a/報告書.old" << "報告書";
    QTest::newRow("trailing dot") << "/a/name." << "name";
    QTest::newRow("ends in .") << "/a/." << ".";
    QTest::newRow("ends in ..") << "/a/../" << "..";
    QTest::newRow("no separator") << "Report.old" << "Report";
    QTest::newRow("empty") << "" << "";
}

void TstRules::baseNameIsTheLastElementWithoutExtension()
{
    QFETCH(QString, path);
    QFETCH(QString, baseName);
    QCOMPARE(GetBaseName(path), baseName);
}

void TstRules::folderNameNeverClimbsOutOfItsRoot_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("isFolderName");
    QTest::newRow("a name") << "Data" << true;
    QTest::newRow("a path below") << "Work/Data" << true;
    QTest::newRow("dots begin a name") << "..hidden" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow(".") << "." << false;
    QTest::newRow("..") << ".." << false;
    QTest::newRow(".. inside") << "Work/../../etc" << false;
    QTest::newRow(". at the end") << "Work/." << false;
}

void TstRules::folderNameNeverClimbsOutOfItsRoot()
{
    QFETCH(QString, name);
    QFETCH(bool, isFolderName);
    QCOMPARE(IsFolderName(name), isFolderName);
}

void TstRules::pathFindsTheDriveWithTheLongestFolder_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("drive");
    QTest::newRow("home") << "/home/u/Docs" << "C:";
    QTest::newRow("home itself") << "/home/u" << "C:";
    QTest::newRow("beside home") << "/home/u2/Docs" << "Z:";
    QTest::newRow("stick") << "/media/u/STICK//Data" << "D:";
    QTest::newRow("disk inside home") << "/home/u/disk/x" << "E:";
    QTest::newRow("root") << "/etc" << "Z:";
    QTest::newRow("relative") << "home/u" << "";
    QTest::newRow("empty") << "" << "";
}

void TstRules::pathFindsTheDriveWithTheLongestFolder()
{
    QFETCH(QString, path);
    QFETCH(QString, drive);
    const QList<DriveEntry> drives = {{"C:", "ホーム", "/home/u/"},
                                      {"D:", "STICK", "/media/u/STICK/"},
                                      {"E:", "disk", "/home/u/disk/"},
                                      {"Z:", "/", "/"}};
    QCOMPARE(driveHolding(drives, path), drive);
}

QTEST_GUILESS_MAIN(TstRules)
#include "tst_rules.moc"
