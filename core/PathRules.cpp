#include "core/PathRules.h"

#include <QStringList>

QString GetBaseName(const QString &path)
{
    QString name = path;
    while (name.size() > 1 && name.endsWith(QLatin1Char('/')))
        name.chop(1);
    name = name.section(QLatin1Char('/'), -1);
    // Leading dots belong to the name (".config", "..config"), not to an extension.
    qsizetype leadingDots = 0;
    while (leadingDots < name.size() && name[leadingDots] == QLatin1Char('.'))
        ++leadingDots;
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > leadingDots ? name.left(dot) : name;
}

bool IsFolderName(const QString &name)
{
    if (name.isEmpty())
        return false;
    const QStringList elements = name.split(QLatin1Char('/'));
    return !elements.contains(QStringLiteral(".")) && !elements.contains(QStringLiteral(".."));
}

QString withTrailingSlash(const QString &folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}
