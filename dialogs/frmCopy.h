#pragma once

#include "dialogs/FolderPicker.h"

// The destination picker "バックアップ先指定": fills txtFolderPath2. The 1 in
// its name, kept from the window design, is no side: cmdSun2 opens it.
class frmCopy1 final : public FolderPicker {
public:
    explicit frmCopy1(Windows &windows);
};

// The source picker "バックアップ元指定": fills txtFolderPath1.
class frmCopy2 final : public FolderPicker {
public:
    explicit frmCopy2(Windows &windows);
};
