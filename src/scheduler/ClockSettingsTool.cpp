#include "scheduler/ClockSettingsTool.h"

#include <QHash>

namespace zelvar {

namespace {

const ClockSettingsTool Gnome{QStringLiteral("gnome-control-center"), {QStringLiteral("datetime")}};
const ClockSettingsTool Plasma6{QStringLiteral("systemsettings"), {QStringLiteral("kcm_clock")}};
const ClockSettingsTool Plasma5{QStringLiteral("systemsettings5"), {QStringLiteral("clock")}};

// Desktops by their XDG_CURRENT_DESKTOP name, in upper case.
const QHash<QString, QList<ClockSettingsTool>> &desktopTools()
{
    static const QHash<QString, QList<ClockSettingsTool>> tools{
        {QStringLiteral("GNOME"), {Gnome}},
        {QStringLiteral("UNITY"), {Gnome}},
        {QStringLiteral("BUDGIE"), {Gnome}},
        {QStringLiteral("KDE"), {Plasma6, Plasma5}},
        {QStringLiteral("X-CINNAMON"), {{QStringLiteral("cinnamon-settings"), {QStringLiteral("calendar")}}}},
        {QStringLiteral("CINNAMON"), {{QStringLiteral("cinnamon-settings"), {QStringLiteral("calendar")}}}},
        {QStringLiteral("MATE"), {{QStringLiteral("time-admin"), {}}}},
        {QStringLiteral("XFCE"), {{QStringLiteral("time-admin"), {}}}},
        {QStringLiteral("LXQT"), {{QStringLiteral("lxqt-admin-time"), {}}}},
    };
    return tools;
}

} // namespace

std::optional<ClockSettingsTool> clockSettingsTool(const QString &currentDesktop,
                                                   const std::function<bool(const QString &)> &installed)
{
    QList<ClockSettingsTool> candidates;
    for (const QString &desktop : currentDesktop.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        candidates += desktopTools().value(desktop.trimmed().toUpper());
    candidates << Gnome << Plasma6 << Plasma5;
    for (const ClockSettingsTool &tool : std::as_const(candidates))
        if (installed(tool.program))
            return tool;
    return std::nullopt;
}

QString clockSettingsHelp()
{
    return QStringLiteral(
        "Aucun outil de réglage de la date et de l'heure n'a été trouvé sur ce bureau.\n\n"
        "Pour régler l'heure dans un terminal :\n"
        "    sudo timedatectl set-time 'AAAA-MM-JJ hh:mm:ss'\n"
        "ou pour la tenir à l'heure d'Internet :\n"
        "    sudo timedatectl set-ntp true");
}

} // namespace zelvar
