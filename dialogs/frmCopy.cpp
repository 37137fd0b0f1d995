#include "dialogs/frmCopy.h"

#include "settings/frmEstablish.h"

frmCopy1::frmCopy1(AppContext &app)
    : FolderPicker(app, Setup{.name = QStringLiteral("frmCopy1"),
                              .title = QStringLiteral("バックアップ先指定"),
                              .writeField = &frmEstablish::setTxtFolderPath2,
                              .okShowsSettings = true,
                              .clientHeight = 4545,
                              .txtFileNameWidth = 4455,
                              .cmdOpenTop = 1680,
                              .cmdExitTop = 3000,
                              .Dir1Height = 2820})
{
}

frmCopy2::frmCopy2(AppContext &app)
    : FolderPicker(app, Setup{.name = QStringLiteral("frmCopy2"),
                              .title = QStringLiteral("バックアップ元指定"),
                              .writeField = &frmEstablish::setTxtFolderPath1,
                              .okShowsSettings = false,
                              .clientHeight = 4935,
                              .txtFileNameWidth = 4335,
                              .cmdOpenTop = 2040,
                              .cmdExitTop = 3600,
                              .Dir1Height = 3240})
{
}
