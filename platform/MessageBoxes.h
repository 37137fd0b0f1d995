#pragma once

#include <QString>

enum class MsgButtons { OK, YesNo, RetryCancel };
enum class MsgIcon { None, Question, Exclamation, Critical };
enum class MsgAnswer { OK, Yes, No, Retry, Cancel };

// Modal message boxes. An empty title shows the application title; details,
// when given, are what the box shows on asking for more (the cause).
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual MsgAnswer MsgBox(const QString &text, MsgButtons buttons = MsgButtons::OK,
                             MsgIcon icon = MsgIcon::None, const QString &title = {},
                             const QString &details = {}) = 0;
};
