#include "scheduler/ScheduleEngine.h"
#include "scheduler/ScheduleFile.h"
#include "scheduler/SchedulePeriod.h"

#include "FakeScheduleClock.h"

#include <gtest/gtest.h>

using namespace zelvar;
using zelvar::testing::at;
using zelvar::testing::FakeScheduleClock;

namespace {

const QDate Day(2026, 12, 7);

// A period row from `start` to `end`, button 1 at its start and 2 at its end, armed at
// `now`; what the engine said until `until`, as "on 07:10:00" (the state said), "fired 2
// 07:30:00" (an instant fired), "missed 07:30:00".
QStringList periodEvents(quint8 weekdays, const char *start, const char *end, qint64 now, qint64 until,
                         int reassertMinutes = 0, qint64 sleepUntil = 0)
{
    FakeScheduleClock clock;
    clock.now = now;
    ScheduleEngine engine(clock);
    QStringList events;
    const auto time = [&](qint64 ms) { return QDateTime::fromMSecsSinceEpoch(ms).toString("dd hh:mm:ss"); };
    QObject::connect(&engine, &ScheduleEngine::asserted, [&](int, int button, bool inside) {
        events << QStringLiteral("%1 %2").arg(inside ? "on" : "off").arg(time(clock.now));
        EXPECT_EQ(button, inside ? 1 : 2);
    });
    QObject::connect(&engine, &ScheduleEngine::fired,
                     [&](int, int button, qint64 due) { events << QStringLiteral("fired %1 %2").arg(button).arg(time(due)); });
    QObject::connect(&engine, &ScheduleEngine::missed,
                     [&](int, qint64, ScheduleEngine::Miss, qint64 due) { events << QStringLiteral("missed %1").arg(time(due)); });
    const int i = engine.addRow(Day, QString::fromLatin1(start), 1);
    engine.setRecurrence(i, {weekdays, Recurrence::Sun::None, 0});
    engine.setEnd(i, PeriodEnd{QString::fromLatin1(end), Recurrence::Sun::None, 0, 2});
    engine.setReassert(i, reassertMinutes);
    const ScheduleEngine::Arming armed = engine.arm(i);
    if (armed != ScheduleEngine::Arming::Armed)
        return {QVariant::fromValue(armed).toString()};
    if (sleepUntil) {
        clock.run(100);
        clock.jumpTo(sleepUntil); // the machine slept
    }
    clock.runUntil(until);
    if (!engine.row(i).armed)
        events << QStringLiteral("done");
    return events;
}

} // namespace

// Armed or started inside its period, a period says "on" at once, outside "off"; then its
// start and end fire their buttons on time, across midnight too.
TEST(SchedulePeriod, SaysItsStateThenFiresItsStartAndEnd)
{
    const quint8 daily = Recurrence::EveryDay;
    const struct
    {
        quint8 weekdays;
        const char *start, *end;
        qint64 now, until;
        const char *events;
    } cases[] = {
        {daily, "07:00:00", "07:30:00", at(Day, "07:10:00"), at(Day, "07:31:00"), "on 07 07:10:00, fired 2 07 07:30:00"},
        {daily, "07:00:00", "07:30:00", at(Day, "12:00:00"), at(Day.addDays(1), "07:01:00"), "off 07 12:00:00, fired 1 08 07:00:00"},
        {daily, "22:00:00", "06:00:00", at(Day.addDays(1), "02:00:00"), at(Day.addDays(1), "06:01:00"),
         "on 08 02:00:00, fired 2 08 06:00:00"},
        // Its first night starts on its date.
        {daily, "22:00:00", "06:00:00", at(Day, "02:00:00"), at(Day, "22:00:01"), "off 07 02:00:00, fired 1 07 22:00:00"},
        {daily, "22:00:00", "06:00:00", at(Day, "21:00:00"), at(Day.addDays(1), "06:01:00"),
         "off 07 21:00:00, fired 1 07 22:00:00, fired 2 08 06:00:00"},
        // Once: its start and its end, then it is done.
        {0, "22:00:00", "06:00:00", at(Day, "21:59:59"), at(Day.addDays(2), "00:00:00"),
         "off 07 21:59:59, fired 1 07 22:00:00, fired 2 08 06:00:00, done"},
        {0, "07:00:00", "07:30:00", at(Day, "07:45:00"), at(Day, "08:00:00"), "Passed"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(periodEvents(c.weekdays, c.start, c.end, c.now, c.until).join(", ").toStdString(), c.events)
            << c.start << "-" << c.end << " at " << QDateTime::fromMSecsSinceEpoch(c.now).toString().toStdString();
}

// A sleep over its end (one "off" lost) puts the relay back in its state as it wakes; the
// state is said again every so many minutes when asked.
TEST(SchedulePeriod, AMissedEndAndTheRepeatedStateBothSayIt)
{
    EXPECT_EQ(periodEvents(Recurrence::EveryDay, "07:00:00", "07:30:00", at(Day, "07:10:00"), at(Day, "09:00:05"), 0,
                           at(Day, "09:00:00"))
                  .join(", ")
                  .toStdString(),
              "on 07 07:10:00, missed 07 07:30:00, off 07 09:00:00");
    EXPECT_EQ(periodEvents(Recurrence::EveryDay, "07:00:00", "07:30:00", at(Day, "07:10:00"), at(Day, "07:35:00"), 10)
                  .join(", ")
                  .toStdString(),
              "on 07 07:10:00, on 07 07:20:00, fired 2 07 07:30:00, off 07 07:30:00");
}

// Two periods of one pump (the same buttons): the one outside its period does not switch
// off what the other keeps on, at a start or when their periods overlap.
TEST(SchedulePeriod, PeriodsOfOneOutputDoNotUndoEachOther)
{
    FakeScheduleClock clock;
    clock.now = at(Day, "16:49:00");
    ScheduleEngine engine(clock);
    QStringList sent;
    const auto time = [&] { return QDateTime::fromMSecsSinceEpoch(clock.now).toString("hh:mm"); };
    QObject::connect(&engine, &ScheduleEngine::asserted,
                     [&](int row, int button, bool) { sent << QStringLiteral("%1 row %2 button %3").arg(time()).arg(row).arg(button); });
    QObject::connect(&engine, &ScheduleEngine::fired,
                     [&](int row, int button) { sent << QStringLiteral("%1 row %2 button %3").arg(time()).arg(row).arg(button); });
    const auto period = [&](const char *start, const char *end) {
        const int i = engine.addRow(Day, QString::fromLatin1(start), 1);
        engine.setRecurrence(i, {Recurrence::EveryDay, Recurrence::Sun::None, 0});
        engine.setEnd(i, PeriodEnd{QString::fromLatin1(end), Recurrence::Sun::None, 0, 2});
        EXPECT_EQ(engine.arm(i), ScheduleEngine::Arming::Armed);
    };
    period("16:00:00", "17:30:00");
    period("08:00:00", "09:00:00");
    period("17:00:00", "18:00:00"); // overlaps the first
    clock.runUntil(at(Day, "18:00:01"));
    EXPECT_EQ(sent.join(", ").toStdString(),
              "16:49 row 1 button 1, 17:00 row 3 button 1, 18:00 row 3 button 2");
}

// Only buttons that set a state may start or end a period.
TEST(SchedulePeriod, ButtonsThatToggleOrPulseAreRefused)
{
    PanelButtons buttons(5);
    const struct
    {
        int mode;
        const char *description;
    } panel[] = {{On, "Pompe on"}, {Off, "Pompe off"}, {Bistable, "Volet"}, {Imp, "Portail"}};
    for (size_t k = 0; k < std::size(panel); ++k) {
        buttons[k + 1].mode = panel[k].mode;
        buttons[k + 1].description = QString::fromLatin1(panel[k].description);
    }
    const struct
    {
        int start, end;
        const char *refusal; // empty when accepted
    } cases[] = {
        {1, 2, ""},
        {3, 2, "« Volet » bascule : une période ne peut commencer ou finir que par un bouton On ou Off"},
        {1, 4, "« Portail » donne une impulsion : une période ne peut commencer ou finir que par un bouton On ou Off"},
        {1, 9, "le bouton de fin de la période n'est pas sur le panneau"},
    };
    for (const auto &c : cases) {
        ScheduleRow row;
        row.button = c.start;
        row.end = PeriodEnd{QStringLiteral("07:30:00"), Recurrence::Sun::None, 0, c.end};
        EXPECT_EQ(periodRefusal(row, buttons).toStdString(), c.refusal) << c.start << "-" << c.end;
    }
    ScheduleRow plain;
    plain.button = 3;
    EXPECT_EQ(periodRefusal(plain, buttons), QString()) << "a row that is not a period may toggle";
}

// A period's keys are written only for a period, and read back as written.
TEST(SchedulePeriod, ItsKeysInTheFile)
{
    SavedScheduleRow row{Day, QStringLiteral("19:00:00"), 1, QStringLiteral("Pompe on"), {Recurrence::EveryDay}, true};
    row.end = PeriodEnd{QStringLiteral("07:00:00"), Recurrence::Sun::Rise, 10, 2};
    row.endDescription = QStringLiteral("Pompe off");
    row.reassertMinutes = 15;
    const ProfileFile file = writeSchedule({row});
    EXPECT_TRUE(file.toBytes().contains("Armee=1\r\nFin=07:00:00\r\nSoleilFin=lever\r\nDecalageFin=10\r\nBoutonFin=2\r\n"
                                        "DescriptionFin=Pompe off\r\nReaffirmer=15\r\n"))
        << file.toBytes().toStdString();
    const ReadSchedule read = readSchedule(file);
    ASSERT_EQ(read.rows.size(), 1u);
    EXPECT_TRUE(read.problems.isEmpty()) << read.problems.join(u'\n').toStdString();
    EXPECT_EQ(read.rows[0].end, row.end);
    EXPECT_EQ(read.rows[0].endDescription, row.endDescription);
    EXPECT_EQ(read.rows[0].reassertMinutes, 15);
    EXPECT_TRUE(read.rows[0].armed);

    const ReadSchedule bad = readSchedule(ProfileFile::fromBytes(
        "[Programateur]\r\nNombre de lignes=1\r\n[Ligne1]\r\nHeure=07:00:00\r\nArmee=1\r\nFin=7h30\r\nBoutonFin=2\r\n"));
    ASSERT_EQ(bad.rows.size(), 1u);
    EXPECT_FALSE(bad.rows[0].armed);
    ASSERT_EQ(bad.problems.size(), 1);
    EXPECT_TRUE(bad.problems[0].startsWith(QStringLiteral("ligne 1, Fin « 7h30 »"))) << bad.problems[0].toStdString();
}
