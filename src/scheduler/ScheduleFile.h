#pragma once

#include "common/ProfileFile.h"
#include "panel/PanelButtons.h"
#include "scheduler/Recurrence.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <vector>

namespace zelvar {

// The saved alarms, "Programateur.ini" in the working directory: section "Programateur"
// with the row count (and the place of the sun's times), then one section "Ligne<n>" per
// row, n from 1. The keys of repeating and sun rows and of armed rows are written only
// when they differ from a row that fires once at a clock time, disarmed, so a file of such
// rows is the one older versions wrote and read.
namespace ScheduleFiles {
inline QString path() { return QStringLiteral("Programateur.ini"); }
} // namespace ScheduleFiles

struct SavedScheduleRow
{
    QDate date;
    QString time;        // as the user typed it
    int button = 0;      // the panel button's index
    QString description; // that button's description when saved
    Recurrence recurrence;
    bool armed = false;  // armed when saved
    // A period's end, with its button's description when saved, and how often it says its
    // state again (minutes, 0 for never).
    std::optional<PeriodEnd> end;
    QString endDescription;
    int reassertMinutes = 0;
};

// A period says its state again at most every day.
constexpr int MaxReassertMinutes = 24 * 60;

// A file holds at most this many rows; a file that counts more is not read at all.
constexpr int MaxSavedScheduleRows = 100000;

// The rows of a file, or why none was read.
struct ReadSchedule
{
    std::vector<SavedScheduleRow> rows;
    QString refused; // empty when the file was read
    // Values that could not be read, each naming its row and key; those rows stay disarmed.
    QStringList problems;
};

class ScheduleEngine;

// The engine's rows as they are saved, each with the description of its button on the
// panel (empty without a panel or for a row with no button).
std::vector<SavedScheduleRow> savedRows(const ScheduleEngine &engine, const PanelButtons *buttons);

// The rows, and the place keys of `previous` (the file being replaced) as they stand there.
ProfileFile writeSchedule(const std::vector<SavedScheduleRow> &rows, const ProfileFile &previous = {});
ReadSchedule readSchedule(const ProfileFile &file);

// The index a saved row comes back with: its own, while that index still names a button
// with the saved description; 0 otherwise.
int restoredButton(const SavedScheduleRow &row, const PanelButtons &buttons);
// The same for a period's end button.
int restoredEndButton(const SavedScheduleRow &row, const PanelButtons &buttons);
// Adds a saved row to the engine, disarmed, its buttons restored against the panel; its number.
int addSavedRow(ScheduleEngine &engine, const SavedScheduleRow &saved, const PanelButtons &buttons);

} // namespace zelvar
