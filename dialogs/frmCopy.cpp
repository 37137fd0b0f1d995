#include "dialogs/frmCopy.h"

#include "settings/frmEstablish.h"

frmCopy1::frmCopy1(AppContext &app)
    : FolderPicker(app, Setup{QStringLiteral("frmCopy1"), QStringLiteral("バックアップ先指定"),
                              &frmEstablish::setTxtFolderPath2, true, 4545, 4455, 1680, 3000,
                              2820})
{
}

frmCopy2::frmCopy2(AppContext &app)
    : FolderPicker(app, Setup{QStringLiteral("frmCopy2"), QStringLiteral("バックアップ元指定"),
                              &frmEstablish::setTxtFolderPath1, false, 4935, 4335, 2040, 3600,
                              3240})
{
}
