#include "dialogs/frmCopy.h"

frmCopy1::frmCopy1(Windows &windows)
    : FolderPicker(windows, Setup{.name = QStringLiteral("frmCopy1"),
                                  .title = QStringLiteral("バックアップ先指定"),
                                  .side = Side::Destination,
                                  .okShowsSettings = true,
                                  .clientHeight = 4545,
                                  .txtFileNameWidth = 4455,
                                  .cmdOpenTop = 1680,
                                  .cmdExitTop = 3000,
                                  .Dir1Height = 2820})
{
}

frmCopy2::frmCopy2(Windows &windows)
    : FolderPicker(windows, Setup{.name = QStringLiteral("frmCopy2"),
                                  .title = QStringLiteral("バックアップ元指定"),
                                  .side = Side::Source,
                                  .okShowsSettings = false,
                                  .clientHeight = 4935,
                                  .txtFileNameWidth = 4335,
                                  .cmdOpenTop = 2040,
                                  .cmdExitTop = 3600,
                                  .Dir1Height = 3240})
{
}
