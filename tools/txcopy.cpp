// txcopy SRC DST [--overwrite]: copies the folder SRC to DST as the program
// does. Exits 0 on success, else with the error number (58, 70, 76, ...)
// after printing the error to standard error.

#include "platform/LinuxDriveTable.h"
#include "runs/DriveFileSystem.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool overwrite = args.removeAll(QStringLiteral("--overwrite")) > 0;
    if (args.size() != 2) {
        std::fputs("usage: txcopy SRC DST [--overwrite]\n", stderr);
        return 2;
    }

    LinuxDriveTable drives;
    DriveFileSystem fileSystem(drives);
    const Result<void> copied = fileSystem.CopyFolder(args[0], args[1], overwrite);
    if (copied)
        return 0;
    std::fprintf(stderr, "txcopy: error %d: %s\n", copied.error().number,
                 copied.error().description.toLocal8Bit().constData());
    return copied.error().number;
}
