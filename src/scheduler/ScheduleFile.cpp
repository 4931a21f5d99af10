#include "scheduler/ScheduleFile.h"

#include "scheduler/ScheduleEngine.h"
#include "scheduler/SchedulePlace.h"

#include <QLocale>

#include <cstdlib>

namespace zelvar {

std::vector<SavedScheduleRow> savedRows(const ScheduleEngine &engine, const PanelButtons *buttons)
{
    std::vector<SavedScheduleRow> saved;
    for (int i = 1; i <= engine.count(); ++i) {
        const ScheduleRow &r = engine.row(i);
        SavedScheduleRow s{r.date, r.timeText, r.button, QString(), r.recurrence, r.armed};
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
const QString Repetition = QStringLiteral("Repetition");
const QString Sun = QStringLiteral("Soleil");
const QString Offset = QStringLiteral("Decalage");
const QString Armed = QStringLiteral("Armee");
const QString DateFormat = QStringLiteral("yyyy-MM-dd");

QString lineSection(int n)
{
    return QStringLiteral("Ligne") + QString::number(n);
}

} // namespace

ProfileFile writeSchedule(const std::vector<SavedScheduleRow> &rows, const ProfileFile &previous)
{
    ProfileFile file;
    file.writeInteger(Header, Count, int(rows.size()));
    // The place is the settings' to change: kept as it stands, read or not.
    for (const QString &key : {PlaceKeys::latitude(), PlaceKeys::longitude()})
        if (previous.hasKey(PlaceKeys::section(), key))
            file.writeString(Header, key, previous.readString(PlaceKeys::section(), key, QString()));
    int n = 0;
    for (const SavedScheduleRow &row : rows) {
        const QString section = lineSection(++n);
        file.writeString(section, Date, row.date.toString(DateFormat));
        // As typed: "2:53:22" and "02:53:22" are two rows the duplicate rule tells apart.
        file.writeString(section, Time, row.time.trimmed());
        file.writeInteger(section, Button, row.button);
        file.writeString(section, Description, row.description);
        const Recurrence &r = row.recurrence;
        if (r.repeats())
            file.writeString(section, Repetition, repetitionText(r.weekdays));
        if (r.sun != Recurrence::Sun::None) {
            file.writeString(section, Sun, sunText(r.sun));
            file.writeInteger(section, Offset, r.offsetMinutes);
        }
        if (row.armed)
            file.writeInteger(section, Armed, 1);
    }
    return file;
}

namespace {

// The keys of repeating, sun and armed rows. A value that cannot be read is named and
// leaves the row disarmed, firing once at its clock time.
void readRowKeys(const ProfileFile &file, int n, SavedScheduleRow &row, QStringList &problems)
{
    const QString section = lineSection(n);
    bool sound = true;
    const auto problem = [&](const QString &key, const QString &value, const QString &expected) {
        problems << QStringLiteral("ligne %1, %2 « %3 » : %4 attendu").arg(n).arg(key, value.trimmed(), expected);
        sound = false;
    };
    const QString repetition = file.readString(section, Repetition, QStringLiteral("une fois"));
    if (const std::optional<quint8> days = readRepetition(repetition))
        row.recurrence.weekdays = *days;
    else
        problem(Repetition, repetition, QStringLiteral("« une fois », « chaque jour » ou des jours de 1 à 7 (1,2,3,4,5)"));
    const QString sun = file.readString(section, Sun, QString());
    if (const std::optional<Recurrence::Sun> event = readSun(sun))
        row.recurrence.sun = *event;
    else
        problem(Sun, sun, QStringLiteral("« lever » ou « coucher »"));
    const QString offset = file.readString(section, Offset, QStringLiteral("0"));
    int minutes = 0;
    if (ProfileFile::parseInteger(offset, &minutes) && std::abs(minutes) <= Recurrence::MaxOffsetMinutes)
        row.recurrence.offsetMinutes = minutes;
    else
        problem(Offset, offset, QStringLiteral("un nombre de minutes de -%1 à %1").arg(Recurrence::MaxOffsetMinutes));
    const QString armed = file.readString(section, Armed, QStringLiteral("0")).trimmed();
    if (armed == QLatin1String("0") || armed == QLatin1String("1"))
        row.armed = armed == QLatin1String("1");
    else
        problem(Armed, armed, QStringLiteral("0 ou 1"));
    if (!sound)
        row.armed = false;
}

} // namespace

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
        readRowKeys(file, n, row, read.problems);
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
