#pragma once

#include "core/Result.h"

#include <QString>

#include <array>
#include <variant>

// The twelve run options as Establish.dat keeps them. The member defaults
// are the settings dialog's initial control states, which hold whenever
// the file is missing or unreadable. A check value is 1 when ticked and 0
// when clear; anything else counts as off.
struct Settings {
    int chkFolder1 = 0;
    QString txtFolderPath1;
    int chkFolder2 = 0;
    QString txtFolderPath2;
    int chkEnd = 1;
    int chkMsg2 = 1;
    int chkUwa = 1;
    int chkTime = 0;
    QString txtBackup1;
    QString txtBackup2;
    QString txtBackup3;
    int chkMsg1 = 0;

    bool operator==(const Settings &) const = default;
};

namespace SettingsFile {

inline const QString FileName = QStringLiteral("Establish.dat");

// One field of the file: the name of the control that holds it, and where
// it lives in Settings (a check value or a text).
struct Field {
    const char *name;
    std::variant<int Settings::*, QString Settings::*> member;
};

// The fields in file order, which is also the order the dialog stores them in.
inline const std::array<Field, 12> Fields{{
    {"chkFolder1", &Settings::chkFolder1},
    {"txtFolderPath1", &Settings::txtFolderPath1},
    {"chkFolder2", &Settings::chkFolder2},
    {"txtFolderPath2", &Settings::txtFolderPath2},
    {"chkEnd", &Settings::chkEnd},
    {"chkMsg2", &Settings::chkMsg2},
    {"chkUwa", &Settings::chkUwa},
    {"chkTime", &Settings::chkTime},
    {"txtBackup1", &Settings::txtBackup1},
    {"txtBackup2", &Settings::txtBackup2},
    {"txtBackup3", &Settings::txtBackup3},
    {"chkMsg1", &Settings::chkMsg1},
}};

// Visits the fields of a Settings (const or not) in file order:
// check(name, value) for a check value, text(name, value) for a text, the
// values being references into the settings.
template <typename S, typename Check, typename Text>
void forEachField(S &settings, Check check, Text text)
{
    for (const Field &field : Fields) {
        if (const auto *member = std::get_if<int Settings::*>(&field.member))
            check(field.name, settings.**member);
        else
            text(field.name, settings.*std::get<QString Settings::*>(field.member));
    }
}

// Reads the twelve fields by the sequential field rules: a text where a
// number belongs reads as 0. 53 when the file is missing, 62 when it ends
// before the twelfth field; no field is kept from a failed read.
Result<Settings> Read(const QString &path);

// One line per field, CR LF after each: check values as decimal integers,
// texts between double quotes with nothing escaped (so a text holding a
// double quote comes back cut short). Written whole or not at all.
Result<void> Write(const QString &path, const Settings &settings);

} // namespace SettingsFile
