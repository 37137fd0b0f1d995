#pragma once

#include "app/AppContext.h"
#include "fakes/FakePlatform.h"
#include "fakes/Trees.h"
#include "runs/HistoryLog.h"
#include "settings/frmEstablish.h"

#include <QFile>
#include <QTest>

// Establish.dat as a save of the dialog's initial states writes it.
inline const QByteArray DefaultsFile = "0\r\n\"\"\r\n0\r\n\"\"\r\n1\r\n1\r\n1\r\n0\r\n\"\"\r\n\"\"\r\n\"\"\r\n0\r\n";
// Riri.dat after a clear, and the history box of a dialog without a history file.
inline const QString HeaderText = HistoryLog::Header + HistoryLog::CrLf;

// The program's context over fake services, with the data files in a
// temporary folder. Nothing quits: the end of the last window is counted.
class EstablishFixture {
public:
    EstablishFixture() { app.onLastWindowGone = [this] { ++lastWindowGone; }; }

    FakePlatform fake;
    AppContext app{fake.platform()};
    int lastWindowGone = 0;

    // The settings dialog, loaded (hidden) when it is not.
    frmEstablish &form() { return app.frmEstablish(); }
    // The settings dialog object, loaded or not.
    frmEstablish &formObject()
    {
        for (Form *form : app.forms())
            if (auto *settings = dynamic_cast<frmEstablish *>(form))
                return *settings;
        qFatal("no settings dialog");
    }

    template <typename W>
    W *control(const char *name)
    {
        W *widget = form().window()->findChild<W *>(QString::fromLatin1(name));
        if (!widget)
            qFatal("no control %s", name);
        return widget;
    }

    QString dataPath(const QString &fileName) const { return fake.dataDirectory.filePath(fileName); }
    void writeData(const QString &fileName, const QByteArray &bytes) const
    {
        Trees::writeFile(dataPath(fileName), bytes);
    }
    QByteArray readData(const QString &fileName) const
    {
        QFile file(dataPath(fileName));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // Points the data files below a regular file, where nothing can be written.
    void makeDataDirectoryUnwritable()
    {
        const QString blocker = fake.tempPath() + QStringLiteral("/blocker");
        QFile file(blocker);
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot create blocker file");
        fake.dataDirectory.setPath(blocker + QStringLiteral("/data"));
    }
};
