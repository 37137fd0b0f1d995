#pragma once

#include "fakes/ProgramFixture.h"
#include "fakes/Trees.h"
#include "runs/HistoryLog.h"
#include "settings/frmEstablish.h"

// Establish.dat as a save of the dialog's initial states writes it.
inline const QByteArray DefaultsFile = "0\r\n\"\"\r\n0\r\n\"\"\r\n1\r\n1\r\n1\r\n0\r\n\"\"\r\n\"\"\r\n\"\"\r\n0\r\n";

// The program over fake services, seen from the settings dialog.
class EstablishFixture : public ProgramFixture {
public:
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
    QByteArray readData(const QString &fileName) const { return Trees::readFile(dataPath(fileName)); }
};
