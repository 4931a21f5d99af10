#include "scheduler/ScheduleFile.h"

#include "scheduler/ScheduleEngine.h"
#include "scheduler/SchedulePlace.h"
#include "scheduler/ScheduleTime.h"

#include <QLocale>

#include <cstdlib>

namespace zelvar {

std::vector<SavedScheduleRow> savedRows(const ScheduleEngine &engine, const PanelButtons *buttons)
{
    std::vector<SavedScheduleRow> saved;
    for (int i = 1; i <= engine.count(); ++i) {
        const ScheduleRow &r = engine.row(i);
        SavedScheduleRow s{r.date, r.timeText, r.button, QString(), r.recurrence, r.armed, r.end, QString(), r.reassertMinutes};
        const auto description = [buttons](int button) {
            return buttons && button >= 1 && size_t(button) < buttons->size() ? (*buttons)[size_t(button)].description : QString();
        };
        s.description = description(r.button);
        if (r.end)
            s.endDescription = description(r.end->button);
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
const QString End = QStringLiteral("Fin");
const QString EndSun = QStringLiteral("SoleilFin");
const QString EndOffset = QStringLiteral("DecalageFin");
const QString EndButton = QStringLiteral("BoutonFin");
const QString EndDescription = QStringLiteral("DescriptionFin");
const QString Reassert = QStringLiteral("Reaffirmer");
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
        if (const std::optional<PeriodEnd> &end = row.end) {
            file.writeString(section, End, end->timeText.trimmed());
            if (end->sun != Recurrence::Sun::None) {
                file.writeString(section, EndSun, sunText(end->sun));
                file.writeInteger(section, EndOffset, end->offsetMinutes);
            }
            file.writeInteger(section, EndButton, end->button);
            file.writeString(section, EndDescription, row.endDescription);
            if (row.reassertMinutes > 0)
                file.writeInteger(section, Reassert, row.reassertMinutes);
        }
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
    const auto readOffset = [&](const QString &key, int *to) {
        const QString offset = file.readString(section, key, QStringLiteral("0"));
        int minutes = 0;
        if (ProfileFile::parseInteger(offset, &minutes) && std::abs(minutes) <= Recurrence::MaxOffsetMinutes)
            *to = minutes;
        else
            problem(key, offset, QStringLiteral("un nombre de minutes de -%1 à %1").arg(Recurrence::MaxOffsetMinutes));
    };
    readOffset(Offset, &row.recurrence.offsetMinutes);
    // A period: its end, read as its start is.
    if (file.hasKey(section, End) || file.hasKey(section, EndSun)) {
        PeriodEnd end;
        end.timeText = file.readString(section, End, QString());
        const QString endSun = file.readString(section, EndSun, QString());
        if (const std::optional<Recurrence::Sun> event = readSun(endSun))
            end.sun = *event;
        else
            problem(EndSun, endSun, QStringLiteral("« lever » ou « coucher »"));
        if (end.sun == Recurrence::Sun::None && !readTimeOfDay(end.timeText))
            problem(End, end.timeText, QStringLiteral("une heure hh:mm:ss"));
        readOffset(EndOffset, &end.offsetMinutes);
        const QString button = file.readString(section, EndButton, QStringLiteral("0"));
        if (!ProfileFile::parseInteger(button, &end.button))
            problem(EndButton, button, QStringLiteral("un numéro de bouton"));
        row.endDescription = file.readString(section, EndDescription, QString());
        const QString reassert = file.readString(section, Reassert, QStringLiteral("0"));
        if (!ProfileFile::parseInteger(reassert, &row.reassertMinutes) || row.reassertMinutes < 0
            || row.reassertMinutes > MaxReassertMinutes) {
            row.reassertMinutes = 0;
            problem(Reassert, reassert, QStringLiteral("un nombre de minutes de 0 à %1").arg(MaxReassertMinutes));
        }
        row.end = end;
    }
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

namespace {

int restored(int button, const QString &description, const PanelButtons &buttons)
{
    if (button < 1 || size_t(button) >= buttons.size())
        return 0;
    // The file reader drops blanks around values.
    return buttons[size_t(button)].description.trimmed() == description.trimmed() ? button : 0;
}

} // namespace

int restoredButton(const SavedScheduleRow &row, const PanelButtons &buttons)
{
    return restored(row.button, row.description, buttons);
}

int restoredEndButton(const SavedScheduleRow &row, const PanelButtons &buttons)
{
    return row.end ? restored(row.end->button, row.endDescription, buttons) : 0;
}

int addSavedRow(ScheduleEngine &engine, const SavedScheduleRow &saved, const PanelButtons &buttons)
{
    const int i = engine.addRow(saved.date, saved.time, restoredButton(saved, buttons));
    engine.setRecurrence(i, saved.recurrence);
    if (saved.end) {
        PeriodEnd end = *saved.end;
        end.button = restoredEndButton(saved, buttons);
        engine.setEnd(i, end);
        engine.setReassert(i, saved.reassertMinutes);
    }
    return i;
}

} // namespace zelvar
