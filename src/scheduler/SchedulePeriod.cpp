#include "scheduler/SchedulePeriod.h"

namespace zelvar {

namespace {

QString buttonRefusal(int button, const PanelButtons &buttons, const QString &which)
{
    if (button < 1 || size_t(button) >= buttons.size())
        return QStringLiteral("le bouton %1 de la période n'est pas sur le panneau").arg(which);
    const ButtonEntry &entry = buttons[size_t(button)];
    if (entry.mode == On || entry.mode == Off)
        return QString();
    QString what;
    switch (entry.mode) {
    case Bistable:
        what = QStringLiteral("bascule");
        break;
    case Imp:
        what = QStringLiteral("donne une impulsion");
        break;
    default:
        what = QStringLiteral("ne met pas un relais dans un état");
        break;
    }
    return QStringLiteral("« %1 » %2 : une période ne peut commencer ou finir que par un bouton On ou Off")
        .arg(entry.description, what);
}

} // namespace

QString periodRefusal(const ScheduleRow &row, const PanelButtons &buttons)
{
    if (!row.end)
        return QString();
    const QString start = buttonRefusal(row.button, buttons, QStringLiteral("de début"));
    return start.isEmpty() ? buttonRefusal(row.end->button, buttons, QStringLiteral("de fin")) : start;
}

} // namespace zelvar
