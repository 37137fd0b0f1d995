#pragma once

#include <QAbstractButton>
#include <QDialog>
#include <QIcon>
#include <QPointer>

// The top-level window of a form. Enter presses the default button. Esc
// presses the cancel button when the window has one and does nothing
// otherwise: it never just hides the window, which would leave the form
// loaded but out of reach. Every window shows the program's font and icon.
class FormWindow final : public QDialog {
public:
    // The frame around the client area: a main window (minimise, no
    // maximise), a fixed dialog, a tool window (narrow title, not in the
    // task bar) or an ordinary, resizable dialog.
    enum class Frame { Main, FixedDialog, Tool, Dialog };

    FormWindow(const QString &objectName, const QString &title, Frame frame);

    // The layouts are drawn in twips for a 9-point (12-pixel) font; a
    // larger desktop font would not fit the controls.
    static constexpr int LayoutFontPixels = 12;

    void setCancelButton(QAbstractButton *button) { m_cancel = button; }
    // A client area of fixed size, in the middle of the screen.
    void setFixedClientSize(QSize size);

protected:
    void reject() override;

private:
    QPointer<QAbstractButton> m_cancel;
};

// The program's emblem: two drives and an arrow.
QIcon programIcon();
