#pragma once

#include <QProcess>

#include <csignal>

// A folder served by an sshd of its own on 127.0.0.1 and mounted by sshfs,
// uncached, for the lifetime of this object. stopServer() stops the server
// (SIGSTOP): each look at the mount then waits for it. why() tells what is
// missing when it could not be mounted.
class SshfsMount {
public:
    explicit SshfsMount(const QString &work);
    ~SshfsMount();
    QString why() const { return m_why; }
    QString mountPoint() const { return m_work + QStringLiteral("/mounted"); }
    void stopServer() { signalServer(SIGSTOP); }

private:
    void signalServer(int signal);
    QString m_work, m_why;
    QProcess m_server;
};
