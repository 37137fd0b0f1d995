#include "fakes/SshfsMount.h"

#include "fakes/Trees.h"

#include <QDir>
#include <QTcpServer>
#include <QThread>


namespace {
bool run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished() && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}
} // namespace

SshfsMount::SshfsMount(const QString &work) : m_work(work)
{
    const QString key = work + QStringLiteral("/key");
    QTcpServer probe; // a free port
    probe.listen(QHostAddress::LocalHost);
    const QString port = QString::number(probe.serverPort());
    probe.close();
    Trees::makeFolder(mountPoint());
    Trees::makeFolder(work + QStringLiteral("/served/sub"));
    QDir().mkpath(QStringLiteral("/run/sshd"));
    if (!run(QStringLiteral("ssh-keygen"), {"-q", "-t", "ed25519", "-N", "", "-f", key})) {
        m_why = QStringLiteral("sshfs and openssh-server are not installed (tools/setup.sh installs them)");
        return;
    }
    QStringList options{"-D", "-e", "-f", "/dev/null", "-o", "ListenAddress=127.0.0.1", "-o", "Port=" + port,
                        "-o", "HostKey=" + key, "-o", "AuthorizedKeysFile=" + key + ".pub", "-o", "StrictModes=no",
                        "-o", "UsePAM=no", "-o", "PidFile=none", "-o", "Subsystem=sftp internal-sftp"};
    m_server.start(QStringLiteral("/usr/sbin/sshd"), options);
    m_server.waitForStarted();
    const QStringList mount{"-p", port, "-o", "IdentityFile=" + key + ",StrictHostKeyChecking=no,BatchMode=yes,"
                            "UserKnownHostsFile=/dev/null,dir_cache=no,attr_timeout=0,entry_timeout=0",
                            "root@127.0.0.1:" + work + "/served", mountPoint()};
    // The server may take a moment before it listens.
    for (int attempt = 0; attempt < 50; ++attempt, QThread::msleep(100))
        if (m_server.state() == QProcess::Running && run(QStringLiteral("sshfs"), mount))
            return;
    m_why = QStringLiteral("sshfs could not mount from the test's sshd (tools/setup.sh installs sshfs): ") + m_server.readAllStandardError().right(300);
}

SshfsMount::~SshfsMount()
{
    signalServer(SIGCONT);
    run(QStringLiteral("fusermount3"), {"-u", "-z", mountPoint()});
    m_server.terminate();
    m_server.waitForFinished();
}

// The server and every process below it, found by the parent field of /proc/<pid>/stat.
void SshfsMount::signalServer(int signal)
{
    if (m_server.processId() <= 0)
        return;
    QList<qint64> found{m_server.processId()};
    for (qsizetype known = 0; known != found.size();) {
        known = found.size();
        for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            const QByteArray stat = Trees::readFile(QStringLiteral("/proc/") + pid + QStringLiteral("/stat"));
            const qint64 parent = stat.mid(stat.lastIndexOf(')') + 2).split(' ').value(1).toLongLong();
            if (pid.toLongLong() > 0 && !found.contains(pid.toLongLong()) && found.contains(parent))
                found << pid.toLongLong();
        }
    }
    for (qint64 pid : found)
        ::kill(pid_t(pid), signal);
}
