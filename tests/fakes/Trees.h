#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Building and reading real folder trees in tests.
namespace Trees {

// What readFile gives for a file that cannot be read.
inline const QString Missing = QStringLiteral("<missing>");

// Writes content to path, creating the folders above it.
void writeFile(const QString &path, const QByteArray &content);
QByteArray readFile(const QString &path);
void makeFolder(const QString &path);
void makeLink(const QString &target, const QString &linkPath);
// What a symbolic link says, unresolved.
QString linkText(const QString &linkPath);

// Every entry below root, sorted, one line each: "d sub", "f sub/x = content",
// "l sub/link -> target". Links are listed, never followed.
QStringList listing(const QString &root);

// Names of copy temporaries left anywhere below root.
QStringList temporaries(const QString &root);

} // namespace Trees
