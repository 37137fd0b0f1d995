#pragma once

#include "app/Form.h"

// The version dialog. (Skeleton.)
class frmAbout final : public Form {
public:
    using Form::Form;

protected:
    QWidget *createWindow() override { return new QWidget; }
    void Form_Load() override {}
};
