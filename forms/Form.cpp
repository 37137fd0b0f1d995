#include "forms/Form.h"

#include "forms/Windows.h"

#include <QCloseEvent>
#include <QTimer>

Form::Form(Windows &windows) : m_windows(windows)
{
    m_windows.registerForm(this);
}

Form::~Form()
{
    m_windows.unregisterForm(this);
    if (m_owner)
        m_owner->m_owned.removeOne(this);
    for (Form *owned : std::as_const(m_owned))
        owned->m_owner = nullptr;
    delete m_window;
}

void Form::Load()
{
    if (m_window)
        return;
    m_window = createWindow();
    m_window->installEventFilter(this);
    Form_Load();
}

QWidget *Form::window()
{
    Load();
    return m_window;
}

void Form::Show(Form *owner)
{
    Load();
    if (owner && owner != m_owner) {
        if (m_owner)
            m_owner->m_owned.removeOne(this);
        m_owner = owner;
        owner->m_owned.append(this);
        const Qt::WindowFlags flags = m_window->windowFlags();
        m_window->setParent(owner->window(), flags | Qt::Window);
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void Form::Hide()
{
    if (m_window)
        m_window->hide();
}

void Form::Unload()
{
    if (!m_window)
        return;
    // Owned windows are destroyed with their owner.
    for (Form *owned : QList<Form *>(m_owned))
        owned->Unload();
    unloading();
    QWidget *window = m_window;
    m_window = nullptr;
    if (m_owner)
        m_owner->m_owned.removeOne(this);
    m_owner = nullptr;
    window->removeEventFilter(this);
    // Nothing of the old window may call back into the object: its timers
    // stop now and its signals are cut before it is deleted.
    for (QTimer *timer : window->findChildren<QTimer *>())
        timer->stop();
    for (QObject *child : window->findChildren<QObject *>())
        QObject::disconnect(child, nullptr, this, nullptr);
    window->hide();
    window->setParent(nullptr);
    // Deleted later: Unload is often called from one of the window's own handlers.
    window->deleteLater();
    m_windows.formUnloaded(*this);
}

bool Form::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && event->type() == QEvent::Close) {
        Unload();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
