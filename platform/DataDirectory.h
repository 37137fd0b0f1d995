#pragma once

#include <QString>

// The fixed per-user directory that holds Establish.dat and Riri.dat.
class DataDirectory {
public:
    virtual ~DataDirectory() = default;
    // The directory, without a trailing separator. It may not exist yet.
    virtual QString path() const = 0;
    // The per-user directory of the program's state (its run log). It may
    // not exist yet.
    virtual QString stateDirectory() const = 0;
    // The full path of a data file in it.
    QString filePath(const QString &fileName) const { return path() + QLatin1Char('/') + fileName; }
};
