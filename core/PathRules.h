#pragma once

#include <QString>

// The last element of a path without its extension; leading dots belong
// to the name (".config" and "..config" stay as they are), trailing
// separators are ignored, and "." and ".." stay as they are.
QString GetBaseName(const QString &path);

// True when name can name a folder below a root: not empty and no element
// "." or "..", so neither source nor destination can climb out of its drive.
bool IsFolderName(const QString &name);

// The folder with one trailing '/', as drive roots are written.
QString withTrailingSlash(const QString &folder);
