#pragma once

#include <QString>

class QCheckBox;
class QDialog;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTimer;

// The controls of the settings dialog "詳細設定", each named (objectName)
// after its control and built at its creation value. The form holds these
// pointers only while its window exists.
struct EstablishControls {
    QDialog *window;
    QTabWidget *SSTab1;

    // Tab "バックアップ＆復旧": the separate source and destination paths
    // and the switches around a run.
    QCheckBox *chkFolder1;
    QFrame *Frame1;
    QLabel *Label1;
    QLineEdit *txtFolderPath1;
    QPushButton *cmdSun;
    QLabel *lblSetsumei1;
    QCheckBox *chkFolder2;
    QFrame *Frame2;
    QLabel *Label3;
    QLineEdit *txtFolderPath2;
    QPushButton *cmdSun2;
    QLabel *lblSetsumei2;
    QCheckBox *chkEnd;
    QCheckBox *chkMsg2;
    QCheckBox *chkUwa;

    // Tab "タイマー": the clock line, the switch and the timer group.
    QLabel *lblTime;
    QCheckBox *chkTime;
    QFrame *Frame3;
    QLabel *lblSetsumei3;
    QLabel *Label2;
    QLineEdit *txtBackup1;
    QLineEdit *txtBackup2;
    QLineEdit *txtBackup3;
    QLabel *Label5;
    QLabel *Label4;
    QCheckBox *chkMsg1;
    QTimer *trmClock;

    // Tab "履歴".
    QLabel *Label6;
    QPushButton *Command1; // clears the history (the main window's Command1 opens this dialog)
    QPlainTextEdit *txtRireki;

    QPushButton *cmdOK;
    QPushButton *cmdCancel;
    QPushButton *cmdSave;
};

// A new, hidden dialog window holding every control; the "タイマー" tab is
// selected and the timer is stopped.
EstablishControls buildEstablishWindow();

// A path box is editable with the window background colour and disabled
// with the grey of the dialog's face, as menus are drawn.
void setPathBoxEditable(QLineEdit *box, bool editable);

// Check values: 0 clear, 1 ticked, 2 grey. The settings file may hold any
// number; every value but 0 and 1 shows grey and reads back as 2, which
// counts as off. A click on a grey box ticks it, and from then on the box
// only toggles between clear and ticked.
int checkValue(const QCheckBox *box);
void setCheckValue(QCheckBox *box, int value);

// The history text of the box, lines separated by CR LF.
QString historyText(const QPlainTextEdit *box);
void setHistoryText(QPlainTextEdit *box, const QString &text);
