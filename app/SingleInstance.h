#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

// One program per user: two windows would each rewrite the history file
// from their own copy. The first start holds a lock in the data-file
// directory and listens beside it; a later start asks that one to bring
// its windows to the front and ends.
class SingleInstance final : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString &dataDirectory);

    // True for the only program of the user, which keeps running; false
    // when another one runs (and was asked to come to the front).
    bool claim();

private:
    void bringWindowsForward();

    QString m_directory;
    QLockFile m_lock;
    QLocalServer m_server;
};
