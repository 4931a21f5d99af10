#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace zelvar {

// A program that opens the desktop's date and time settings.
struct ClockSettingsTool
{
    QString program;
    QStringList arguments;
    bool operator==(const ClockSettingsTool &) const = default;
};

// The desktop's own tool first (the desktops named by XDG_CURRENT_DESKTOP, a list separated
// by colons), then the first installed of GNOME's and KDE's. Empty when none is installed.
std::optional<ClockSettingsTool> clockSettingsTool(const QString &currentDesktop,
                                                   const std::function<bool(const QString &program)> &installed);

// What the user is told when no tool is installed.
QString clockSettingsHelp();

} // namespace zelvar
