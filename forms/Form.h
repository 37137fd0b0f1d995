#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

class Windows;

// A window of the program. The object lives as long as the program; it owns
// its Qt window only while loaded. Loading creates the controls at their
// initial states and runs Form_Load; unloading destroys the window and its
// controls but keeps the object's own fields, so the next reference loads
// a fresh window. Handlers are connected with the form as receiver, so that
// setting a value from code raises its handler at once, nested.
class Form : public QObject {
    Q_OBJECT
public:
    explicit Form(Windows &windows);
    ~Form() override;

    bool isLoaded() const { return m_window != nullptr; }
    // Creates the window and runs Form_Load, unless it is loaded already.
    void Load();
    // Loads when needed, then shows the window non-modal and brings it
    // forward. An owned window stays above its owner and goes with it.
    void Show(Form *owner = nullptr);
    void Hide();
    // Destroys the window (and the windows it owns); the object stays.
    void Unload();
    bool isVisible() const { return m_window && m_window->isVisible(); }
    Form *owner() const { return m_owner; }
    // The window, loading it first.
    QWidget *window();

protected:
    Windows &windows() const { return m_windows; }
    // Builds the window with every control at its creation value and
    // connects the handlers.
    virtual QWidget *createWindow() = 0;
    virtual void Form_Load() = 0;
    // Called when the window is about to go: stop timers, drop control pointers.
    virtual void unloading() {}

private:
    bool eventFilter(QObject *watched, QEvent *event) override;

    Windows &m_windows;
    QPointer<QWidget> m_window;
    Form *m_owner = nullptr;
    QList<Form *> m_owned;
};
