#pragma once

#include "app/Form.h"

// The two folder pickers: frmCopy2 fills the separate source path,
// frmCopy1 the separate destination path. (Skeleton.)
class frmCopy1 final : public Form {
public:
    using Form::Form;

protected:
    QWidget *createWindow() override { return new QWidget; }
    void Form_Load() override {}
};

class frmCopy2 final : public Form {
public:
    using Form::Form;

protected:
    QWidget *createWindow() override { return new QWidget; }
    void Form_Load() override {}
};
