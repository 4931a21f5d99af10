#include "scheduler/ScheduleFile.h"

#include "scheduler/ScheduleEngine.h"

#include <QLocale>

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
        // As typed: "2:53:22" and "02:53:22" are two rows the duplicate rule tells apart.
        file.writeString(section, Time, row.time.trimmed());
        file.writeInteger(section, Button, row.button);
        file.writeString(section, Description, row.description);
    }
    return file;
}

ReadSchedule readSchedule(const ProfileFile &file)
{
    ReadSchedule read;
    const QString countText = file.readString(Header, Count, QStringLiteral("0"));
    int count = 0;
    if (!ProfileFile::parseInteger(countText, &count) || count < 0) {
        read.refused = QStringLiteral("le nombre de lignes « %1 » n'est pas un nombre de 0 à %2")
                           .arg(countText.trimmed(), QLocale(QLocale::French).toString(MaxSavedScheduleRows));
        return read;
    }
    if (count > MaxSavedScheduleRows) {
        read.refused = QStringLiteral("%1 lignes, plus que les %2 qu'un fichier peut avoir")
                           .arg(count)
                           .arg(QLocale(QLocale::French).toString(MaxSavedScheduleRows));
        return read;
    }
    read.rows.reserve(size_t(count));
    for (int n = 1; n <= count; ++n) {
        const QString section = lineSection(n);
        SavedScheduleRow row;
        row.date = QDate::fromString(file.readString(section, Date, QString()).trimmed(), DateFormat);
        row.time = file.readString(section, Time, QString());
        row.button = file.readInteger(section, Button, 0);
        row.description = file.readString(section, Description, QString());
        read.rows.push_back(row);
    }
    return read;
}

int restoredButton(const SavedScheduleRow &row, const PanelButtons &buttons)
{
    if (row.button < 1 || size_t(row.button) >= buttons.size())
        return 0;
    // The file reader drops blanks around values.
    return buttons[size_t(row.button)].description.trimmed() == row.description.trimmed() ? row.button : 0;
}

} // namespace zelvar
