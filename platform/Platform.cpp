#include "platform/Platform.h"

#include "core/AppInfo.h"

void Platform::reportUnexpectedError(std::initializer_list<QString> texts)
{
    for (const QString &text : texts)
        messageBoxes.MsgBox(text);
    messageBoxes.MsgBox(QStringLiteral("メールアドレスは､クリップボードにコピーしておきます。"));
    clipboard.setText(AppInfo::ContactAddress);
}
