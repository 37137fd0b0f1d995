#pragma once

#include "dialogs/FolderPicker.h"

// The destination picker "バックアップ先指定": fills txtFolderPath2. Its name
// keeps the window's design, where the 1 is no side: cmdSun2 opens it.
class frmCopy1 final : public FolderPicker {
public:
    explicit frmCopy1(Windows &windows);
};

// The source picker "バックアップ元指定": fills txtFolderPath1.
class frmCopy2 final : public FolderPicker {
public:
    explicit frmCopy2(Windows &windows);
};
