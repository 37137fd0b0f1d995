#pragma once

#include <QAbstractButton>
#include <QDialog>
#include <QFont>
#include <QPointer>

// The window of a dialog form: Enter presses the default button. Esc presses
// the cancel button when the dialog has one and does nothing otherwise; it
// never just hides the window, which would leave the form loaded but out
// of reach.
class DialogWindow final : public QDialog {
public:
    DialogWindow()
    {
        // The layouts are drawn in twips for a 9-point (12-pixel) font; a
        // larger desktop font would not fit the controls.
        QFont small = font();
        small.setPixelSize(LayoutFontPixels);
        setFont(small);
    }
    static constexpr int LayoutFontPixels = 12;
    void setCancelButton(QAbstractButton *button) { m_cancel = button; }

protected:
    void reject() override
    {
        if (m_cancel)
            m_cancel->click();
    }

private:
    QPointer<QAbstractButton> m_cancel;
};
