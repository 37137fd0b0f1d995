#pragma once

#include "core/AppVersion.h"

#include <QString>

// Facts about the program that several windows and runs show.
namespace AppInfo {
// Title of the main window.
inline const QString MainTitle = QStringLiteral("TX(Tandemix)Ver.3");
// Application title: message boxes without a title of their own show it.
inline const QString Title = QStringLiteral("TX(Tandemix)Vr.3");
} // namespace AppInfo
