#include "app/SingleInstance.h"

#include <QApplication>
#include <QDir>
#include <QLocalSocket>
#include <QThread>
#include <QWidget>

namespace {

QString socketPath(const QString &directory)
{
    return directory + QStringLiteral("/tandemix.socket");
}

// The first program may be between taking the lock and listening.
constexpr int ConnectAttempts = 20;
constexpr int ConnectWaitMs = 250;

} // namespace

SingleInstance::SingleInstance(const QString &dataDirectory)
    : m_directory(dataDirectory), m_lock(dataDirectory + QStringLiteral("/tandemix.lock"))
{
    // A lock left by a program that died is taken over at once.
    m_lock.setStaleLockTime(0);
}

bool SingleInstance::claim()
{
    QDir().mkpath(m_directory);
    if (m_lock.tryLock()) {
        // A socket left by a program that died would refuse the name.
        QLocalServer::removeServer(socketPath(m_directory));
        m_server.setSocketOptions(QLocalServer::UserAccessOption);
        m_server.listen(socketPath(m_directory));
        connect(&m_server, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket *caller = m_server.nextPendingConnection()) {
                connect(caller, &QLocalSocket::disconnected, caller, &QObject::deleteLater);
                caller->disconnectFromServer();
                bringWindowsForward();
            }
        });
        return true;
    }
    // Without a lock file there is no telling; the program runs as it
    // always did.
    if (m_lock.error() != QLockFile::LockFailedError)
        return true;
    for (int attempt = 0; attempt < ConnectAttempts; ++attempt) {
        QLocalSocket socket;
        socket.connectToServer(socketPath(m_directory));
        if (socket.waitForConnected(ConnectWaitMs)) {
            socket.waitForDisconnected(ConnectWaitMs);
            break;
        }
        QThread::msleep(ConnectWaitMs);
    }
    return false;
}

// The running program's windows come to the front, the one taking input
// (a modal dialog or a message box) last, so it gets the keyboard.
void SingleInstance::bringWindowsForward()
{
    QWidget *active = QApplication::activeModalWidget();
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (!window->isVisible())
            continue;
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
        window->raise();
        if (!active)
            active = window;
    }
    if (active) {
        active->raise();
        active->activateWindow();
    }
}
