#pragma once

#include "scheduler/ScheduleFile.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace zelvar {

// What the scheduler of a working folder remembers between runs: for each row, the last
// occurrence it fired or reported missed, or for a row not yet due, when it was first
// armed. So a restart fires no row twice and passes over none silently. The service and
// the program share it: one file per working folder under stateFolder(), replaced whole on
// each write, so a reader never sees half of it.
//
// The same file keeps the "off" of each timed pulse under way (a relay switched on for so many
// seconds from the remote), so that whichever host runs next sends it when its time comes.
//
// A row is known by its contents (date, time, button, description, recurrence) and its rank
// among rows with equal contents: an edited row is another row and starts afresh.
class ScheduleMemory
{
public:
    // The memory of the alarms of `folder` (the working folder of Programateur.ini).
    explicit ScheduleMemory(const QString &folder);

    QString path() const { return m_path; }
    // Why the file could not be read or written the last time; empty when it could.
    QString error() const { return m_error; }

    // The keys of rows as the file holds them, row i at i - 1.
    static QStringList keysOf(const std::vector<SavedScheduleRow> &rows);

    // The instant up to which the row's occurrences were dealt with, if it is known.
    std::optional<qint64> accountedUntil(const QString &key) const;
    // Records that the row's occurrences up to `ms` are dealt with, and writes the file at
    // once, over what another process of the folder wrote meanwhile. False with error().
    bool remember(const QString &key, qint64 ms);
    // The same for several rows at once, with one write.
    bool remember(const QHash<QString, qint64> &instants);
    // Forgets the rows that are not among `keys` and were last dealt with before `before`:
    // a row taken out for a moment (an editor's undo) keeps its memory for a while.
    bool forgetOthers(const QStringList &keys, qint64 before);

    // Reads the file again; an unreadable one is an empty memory with error().
    void reload();

    // When relay r of a timed pulse is due off, for the pulses under way, by relay.
    QHash<int, qint64> pulseOffs() const { return m_pulseOffs; }
    // Records or forgets relay r's "off", and writes the file at once. False with error().
    bool setPulseOff(int relay, std::optional<qint64> dueMs);

private:
    bool write();

    QString m_folder;
    QString m_path;
    QString m_error;
    QHash<QByteArray, qint64> m_instants; // by the digest of the row's key
    QHash<int, qint64> m_pulseOffs;
};

} // namespace zelvar
