#include "scheduler/ScheduleFile.h"

#include "scheduler/ScheduleEngine.h"
#include "scheduler/ScheduleTime.h"

#include <algorithm>

namespace zelvar {

std::vector<SavedScheduleRow> savedRows(const ScheduleEngine &engine, const PanelButtons *buttons)
{
    std::vector<SavedScheduleRow> saved;
    for (int i = 1; i <= engine.count(); ++i) {
        const ScheduleRow &r = engine.row(i);
        SavedScheduleRow s{r.date, r.timeText, r.button, QString()};
        if (buttons && r.button >= 1 && size_t(r.button) < buttons->size())
            s.description = (*buttons)[size_t(r.button)].description;
        saved.push_back(s);
    }
    return saved;
}

namespace {

const QString Header = QStringLiteral("Programateur");
const QString Count = QStringLiteral("Nombre de lignes");
const QString Date = QStringLiteral("Date");
const QString Time = QStringLiteral("Heure");
const QString Button = QStringLiteral("Bouton");
const QString Description = QStringLiteral("Description");
const QString DateFormat = QStringLiteral("yyyy-MM-dd");

QString lineSection(int n)
{
    return QStringLiteral("Ligne") + QString::number(n);
}

} // namespace

ProfileFile writeSchedule(const std::vector<SavedScheduleRow> &rows)
{
    ProfileFile file;
    file.writeInteger(Header, Count, int(rows.size()));
    int n = 0;
    for (const SavedScheduleRow &row : rows) {
        const QString section = lineSection(++n);
        file.writeString(section, Date, row.date.toString(DateFormat));
        const std::optional<QTime> time = readTimeOfDay(row.time);
        file.writeString(section, Time, time ? timeOfDayText(*time) : row.time.trimmed());
        file.writeInteger(section, Button, row.button);
        file.writeString(section, Description, row.description);
    }
    return file;
}

std::vector<SavedScheduleRow> readSchedule(const ProfileFile &file)
{
    const int count = std::clamp(file.readInteger(Header, Count, 0), 0, MaxSavedScheduleRows);
    std::vector<SavedScheduleRow> rows;
    for (int n = 1; n <= count; ++n) {
        const QString section = lineSection(n);
        SavedScheduleRow row;
        row.date = QDate::fromString(file.readString(section, Date, QString()).trimmed(), DateFormat);
        row.time = file.readString(section, Time, QString());
        row.button = file.readInteger(section, Button, 0);
        row.description = file.readString(section, Description, QString());
        rows.push_back(row);
    }
    return rows;
}

int restoredButton(const SavedScheduleRow &row, const PanelButtons &buttons)
{
    if (row.button < 1 || size_t(row.button) >= buttons.size())
        return 0;
    // The file reader drops blanks around values.
    return buttons[size_t(row.button)].description.trimmed() == row.description.trimmed() ? row.button : 0;
}

} // namespace zelvar
