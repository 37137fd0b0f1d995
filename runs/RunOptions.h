#pragma once

#include <QString>

// The twelve run options, each held by the settings dialog's control of the
// same name and read at the moment of use. Reading one while the dialog
// does not exist creates it hidden, which loads the settings file first.
// A check value is 1 when ticked and 0 when clear; only exactly 1 is on.
class RunOptions {
public:
    virtual ~RunOptions() = default;
    virtual int chkFolder1() = 0;
    virtual QString txtFolderPath1() = 0;
    virtual int chkFolder2() = 0;
    virtual QString txtFolderPath2() = 0;
    virtual int chkUwa() = 0;
    virtual int chkMsg1() = 0;
    virtual int chkMsg2() = 0;
    virtual int chkEnd() = 0;
    virtual int chkTime() = 0;
    virtual QString txtBackup1() = 0;
    virtual QString txtBackup2() = 0;
    virtual QString txtBackup3() = 0;
    // The runs switch overwriting on after the user agreed to it.
    virtual void setChkUwa(int value) = 0;
};

inline bool isOn(int checkValue) { return checkValue == 1; }
