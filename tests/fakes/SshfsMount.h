#pragma once

#include <QProcess>
#include <QString>

// A folder served by an sshd of its own on 127.0.0.1 only and mounted
// through sshfs for the lifetime of this object, with no caching, so that
// every look at the mount asks the server. stopServer() stops the server
// (SIGSTOP) as one that hangs: each look then waits for it. Where sshfs or
// sshd is missing or the mount fails, mounted() is false and why() says why.
class SshfsMount {
public:
    explicit SshfsMount(const QString &workFolder);
    ~SshfsMount();
    SshfsMount(const SshfsMount &) = delete;
    SshfsMount &operator=(const SshfsMount &) = delete;

    bool mounted() const { return m_why.isEmpty(); }
    QString why() const { return m_why; }
    QString mountPoint() const { return m_mountPoint; }
    void stopServer();

private:
    // The server and every process it started.
    QList<qint64> serverProcesses() const;
    void signalServer(int signal);

    QString m_work, m_mountPoint, m_why;
    QProcess m_server;
    bool m_mounted = false;
};
