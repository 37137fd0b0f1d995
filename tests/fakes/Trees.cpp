#include "fakes/Trees.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace Trees {

QString linkText(const QString &linkPath)
{
    char buffer[4096];
    const ssize_t n = ::readlink(QFile::encodeName(linkPath).constData(), buffer, sizeof buffer);
    return n < 0 ? QString() : QFile::decodeName(QByteArray(buffer, n));
}

void writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : Missing.toUtf8();
}

void makeFolder(const QString &path)
{
    if (!QDir().mkpath(path))
        qFatal("cannot create %s", qPrintable(path));
}

void makeLink(const QString &target, const QString &linkPath)
{
    QDir().mkpath(QFileInfo(linkPath).absolutePath());
    if (!QFile::link(target, linkPath))
        qFatal("cannot link %s", qPrintable(linkPath));
}

QStringList listing(const QString &root)
{
    QStringList lines;
    const QDir base(root);
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        const QString relative = base.relativeFilePath(info.filePath());
        if (info.isSymLink())
            lines << QStringLiteral("l %1 -> %2").arg(relative, linkText(info.filePath()));
        else if (info.isDir())
            lines << QStringLiteral("d ") + relative;
        else if (info.isFile())
            lines << QStringLiteral("f %1 = %2").arg(relative, QString::fromUtf8(readFile(info.filePath())));
        else
            lines << QStringLiteral("s ") + relative;
    }
    lines.sort();
    return lines;
}

QStringList temporaries(const QString &root)
{
    QStringList found;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.contains(QStringLiteral(".txtmp-")))
            found << path;
    }
    return found;
}

} // namespace Trees
