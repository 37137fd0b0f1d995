#pragma once

#include "app/AppContext.h"
#include "fakes/FakePlatform.h"

#include <QString>

// The whole program over fake services, with the data files in a temporary
// folder and a working folder of its own (where Path.dat lives). Nothing
// quits: the end of the last window is counted.
class ProgramFixture {
public:
    explicit ProgramFixture(const Replacements &with = {});
    ProgramFixture(const ProgramFixture &) = delete;
    ProgramFixture &operator=(const ProgramFixture &) = delete;

    // Entered before the program exists and left after it is gone.
    class WorkingFolder {
    public:
        explicit WorkingFolder(const QString &path);
        ~WorkingFolder();
        QString path() const { return m_path; }
        QString filePath(const QString &fileName) const { return m_path + QLatin1Char('/') + fileName; }

    private:
        QString m_path, m_previous;
    };

    FakePlatform fake;
    WorkingFolder work;
    AppContext app;
    int lastWindowGone = 0;
};
