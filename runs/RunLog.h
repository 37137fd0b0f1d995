#pragma once

#include <QString>

// The run log: the general error boxes name no cause, so each failed run
// leaves one line here, "date time run number description", the
// description being the system's text and the path concerned. A run that
// could not keep an old version of what it replaced names it here too.
namespace RunLog {

inline const QString FileName = QStringLiteral("tandemix.log");
// Past this the log loses its oldest half, so it stays small however many
// runs fail.
constexpr qint64 Limit = 1024 * 1024;

// Appends line to the log in directory, made when missing. A log that
// cannot be written is no reason for another failure: nothing is reported.
void Append(const QString &directory, const QString &line);

// Where Append writes in directory.
QString FilePath(const QString &directory);

} // namespace RunLog
