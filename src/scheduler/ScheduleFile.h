#pragma once

#include "common/ProfileFile.h"
#include "panel/PanelButtons.h"

#include <QDate>
#include <QString>

#include <vector>

namespace zelvar {

// The saved alarms, "Programateur.ini" in the working directory: section "Programateur"
// with the row count, then one section "Ligne<n>" per row, n from 1.
namespace ScheduleFiles {
inline QString path() { return QStringLiteral("Programateur.ini"); }
} // namespace ScheduleFiles

struct SavedScheduleRow
{
    QDate date;
    QString time;        // as the user typed it
    int button = 0;      // the panel button's index
    QString description; // that button's description when saved
};

// A file holds at most this many rows; a file that counts more is not read at all.
constexpr int MaxSavedScheduleRows = 100000;

// The rows of a file, or why none was read.
struct ReadSchedule
{
    std::vector<SavedScheduleRow> rows;
    QString refused; // empty when the file was read
};

class ScheduleEngine;

// The engine's rows as they are saved, each with the description of its button on the
// panel (empty without a panel or for a row with no button).
std::vector<SavedScheduleRow> savedRows(const ScheduleEngine &engine, const PanelButtons *buttons);

ProfileFile writeSchedule(const std::vector<SavedScheduleRow> &rows);
ReadSchedule readSchedule(const ProfileFile &file);

// The index a saved row comes back with: its own, while that index still names a button
// with the saved description; 0 otherwise.
int restoredButton(const SavedScheduleRow &row, const PanelButtons &buttons);

} // namespace zelvar
