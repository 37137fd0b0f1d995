#include "platform/Platform.h"

#include "core/AppInfo.h"

void Platform::reportUnexpectedError(std::initializer_list<QString> texts, const QString &details)
{
    for (const QString &text : texts)
        messageBoxes.MsgBox(text, MsgButtons::OK, MsgIcon::None, {}, details);
    messageBoxes.MsgBox(QStringLiteral("メールアドレスは､クリップボードにコピーしておきます。"));
    clipboard.setText(AppInfo::ContactAddress);
}
