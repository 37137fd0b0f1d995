#pragma once

#include <QString>

// Facts about the program that several windows and runs show.
namespace AppInfo {
// Title of the main window.
inline const QString MainTitle = QStringLiteral("TX(Tandemix)Ver.3");
// Application title: message boxes without a title of their own show it.
inline const QString Title = QStringLiteral("TX(Tandemix)Vr.3");
constexpr int VersionMajor = 3;
constexpr int VersionMinor = 0;
constexpr int VersionRevision = 3;
// Put on the clipboard after an unexpected failure, so the user can write to us.
inline const QString ContactAddress = QStringLiteral("support@tandemix.example");
} // namespace AppInfo
