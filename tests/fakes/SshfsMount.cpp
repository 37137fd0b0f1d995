#include "fakes/SshfsMount.h"

#include "fakes/Trees.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QThread>

#include <csignal>

namespace {
const QString Sshd = QStringLiteral("/usr/sbin/sshd");

bool run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit
           && process.exitCode() == 0;
}

quint16 freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost) ? probe.serverPort() : 0;
}
} // namespace

SshfsMount::SshfsMount(const QString &workFolder)
    : m_work(workFolder), m_mountPoint(workFolder + QStringLiteral("/mounted"))
{
    const QString sshfs = QStandardPaths::findExecutable(QStringLiteral("sshfs"));
    const QString keygen = QStandardPaths::findExecutable(QStringLiteral("ssh-keygen"));
    if (sshfs.isEmpty() || keygen.isEmpty() || !QFile::exists(Sshd)) {
        m_why = QStringLiteral("sshfs, ssh-keygen or sshd is not installed (tools/setup.sh installs them)");
        return;
    }
    Trees::makeFolder(m_mountPoint);
    Trees::makeFolder(m_work + QStringLiteral("/served/sub"));
    QDir().mkpath(QStringLiteral("/run/sshd")); // the server's privilege separation
    const QString hostKey = m_work + QStringLiteral("/host_key");
    const QString key = m_work + QStringLiteral("/key");
    const quint16 port = freePort();
    if (!run(keygen, {QStringLiteral("-q"), QStringLiteral("-t"), QStringLiteral("ed25519"), QStringLiteral("-N"), QString(),
                      QStringLiteral("-f"), hostKey})
        || !run(keygen, {QStringLiteral("-q"), QStringLiteral("-t"), QStringLiteral("ed25519"), QStringLiteral("-N"), QString(),
                         QStringLiteral("-f"), key})
        || port == 0) {
        m_why = QStringLiteral("no keys or no free port for the test's ssh server");
        return;
    }
    QFile::copy(key + QStringLiteral(".pub"), m_work + QStringLiteral("/authorized_keys"));
    Trees::writeFile(m_work + QStringLiteral("/sshd_config"),
                     QStringLiteral("ListenAddress 127.0.0.1\nPort %1\nHostKey %2\nAuthorizedKeysFile %3/authorized_keys\n"
                                    "PidFile none\nStrictModes no\nUsePAM no\nPermitRootLogin prohibit-password\n"
                                    "Subsystem sftp internal-sftp\n")
                         .arg(port)
                         .arg(hostKey, m_work)
                         .toUtf8());
    m_server.start(Sshd, {QStringLiteral("-D"), QStringLiteral("-e"), QStringLiteral("-f"), m_work + QStringLiteral("/sshd_config")});
    if (!m_server.waitForStarted()) {
        m_why = QStringLiteral("the test's ssh server did not start");
        return;
    }
    const QStringList mount{QStringLiteral("-p"), QString::number(port),
                            QStringLiteral("-o"),
                            QStringLiteral("IdentityFile=%1,StrictHostKeyChecking=no,UserKnownHostsFile=/dev/null,"
                                           "BatchMode=yes,dir_cache=no,attr_timeout=0,entry_timeout=0,negative_timeout=0")
                                .arg(key),
                            QStringLiteral("root@127.0.0.1:") + m_work + QStringLiteral("/served"), m_mountPoint};
    // The server may take a moment before it listens.
    for (QDeadlineTimer deadline(10000); !m_mounted && !deadline.hasExpired(); QThread::msleep(100))
        m_mounted = run(sshfs, mount);
    if (!m_mounted)
        m_why = QStringLiteral("sshfs could not mount from the test's ssh server: ")
                + QString::fromLocal8Bit(m_server.readAllStandardError()).right(300);
}

SshfsMount::~SshfsMount()
{
    signalServer(SIGCONT);
    if (m_mounted)
        run(QStringLiteral("fusermount3"), {QStringLiteral("-u"), QStringLiteral("-z"), m_mountPoint});
    if (m_server.state() != QProcess::NotRunning) {
        m_server.terminate();
        m_server.waitForFinished(10000);
    }
}

void SshfsMount::stopServer()
{
    signalServer(SIGSTOP);
}

void SshfsMount::signalServer(int signal)
{
    for (qint64 pid : serverProcesses())
        ::kill(pid_t(pid), signal);
}

QList<qint64> SshfsMount::serverProcesses() const
{
    if (m_server.state() == QProcess::NotRunning)
        return {};
    QList<qint64> found{m_server.processId()};
    // Children of found processes, by the parent field of /proc/<pid>/stat.
    for (bool more = true; more;) {
        more = false;
        for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            bool isPid = false;
            const qint64 pid = entry.toLongLong(&isPid);
            if (!isPid || found.contains(pid))
                continue;
            const QByteArray stat = Trees::readFile(QStringLiteral("/proc/%1/stat").arg(pid));
            const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
            if (fields.size() > 1 && found.contains(fields[1].toLongLong())) {
                found << pid;
                more = true;
            }
        }
    }
    return found;
}
