#include "scheduler/ClockSettingsTool.h"
#include "scheduler/ScheduleEngine.h"
#include "scheduler/ScheduleFile.h"
#include "scheduler/ScheduleTime.h"

#include "FakeScheduleClock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <QVariant>

using namespace zelvar;
using zelvar::testing::at;
using zelvar::testing::FakeScheduleClock;

namespace {

const QDate Day(2026, 12, 7);

// The local time zone, for the life of the object.
class Zone
{
public:
    explicit Zone(const char *name) : m_previous(qgetenv("TZ")) { set(name); }
    ~Zone()
    {
        if (m_previous.isNull())
            qunsetenv("TZ");
        else
            qputenv("TZ", m_previous);
        tzset();
    }
    void set(const char *name)
    {
        qputenv("TZ", name);
        tzset();
    }

private:
    QByteArray m_previous;
};

// An engine on a stepped clock that records what it reports: "fired 1 (button 3) at
// 07:30:00.002", "missed 1 (Late)", "stopped 1 (Duplicate)".
class Engine : public ::testing::Test
{
protected:
    void SetUp() override
    {
        clock.now = at(Day, "07:29:58");
        QObject::connect(&engine, &ScheduleEngine::fired, [this](int row, int button) {
            events << QStringLiteral("fired %1 (button %2) at %3")
                          .arg(row)
                          .arg(button)
                          .arg(QDateTime::fromMSecsSinceEpoch(clock.now).time().toString("hh:mm:ss.zzz"));
            firedOn << QDateTime::fromMSecsSinceEpoch(clock.now).toString("MM-dd hh:mm:ss");
        });
        QObject::connect(&engine, &ScheduleEngine::sunless, [this](int row, const QDate &from, const QDate &to) {
            events << QStringLiteral("sunless %1 %2..%3").arg(row).arg(from.toString(Qt::ISODate), to.toString(Qt::ISODate));
        });
        QObject::connect(&engine, &ScheduleEngine::missed, [this](int row, qint64, ScheduleEngine::Miss why) {
            events << QStringLiteral("missed %1 (%2)").arg(row).arg(QVariant::fromValue(why).toString());
        });
        QObject::connect(&engine, &ScheduleEngine::stopped, [this](int row, ScheduleEngine::Arming why) {
            events << QStringLiteral("stopped %1 (%2)").arg(row).arg(QVariant::fromValue(why).toString());
        });
    }

    int armed(const char *time, int button = 1, QDate date = Day)
    {
        const int i = engine.addRow(date, QString::fromLatin1(time), button);
        EXPECT_EQ(engine.arm(i), ScheduleEngine::Arming::Armed) << time;
        return i;
    }

    // A repeating row, armed.
    int repeating(const QDate &first, const char *time, quint8 weekdays, Recurrence::Sun sun = Recurrence::Sun::None,
                  int offset = 0)
    {
        const int i = engine.addRow(first, QString::fromLatin1(time), engine.count() + 1);
        engine.setRecurrence(i, {weekdays, sun, offset});
        EXPECT_EQ(engine.arm(i), ScheduleEngine::Arming::Armed) << time;
        return i;
    }

    FakeScheduleClock clock;
    ScheduleEngine engine{clock};
    QStringList events;
    QStringList firedOn; // "12-07 07:30:00"
};

TEST_F(Engine, ArmingRules)
{
    using A = ScheduleEngine::Arming;
    // A single row may be armed whatever its text looks like next to others.
    const int only = engine.addRow(Day, "07:30:00");
    EXPECT_EQ(engine.arm(only), A::Armed);
    engine.disarm(only);
    // Equal texts are refused on any row, whatever the dates.
    engine.addRow(Day.addDays(1), "07:30:00");
    EXPECT_EQ(engine.arm(1), A::Duplicate);
    EXPECT_EQ(engine.arm(2), A::Duplicate);
    EXPECT_EQ(engine.refusal(A::Duplicate, 2), QStringLiteral("Deux Programations horaire ne peuvent etre identiques ! "));
    engine.setTimeText(2, "7h30");
    EXPECT_EQ(engine.arm(2), A::Unreadable);
    {
        // The spring change skips 02:30 on that day: said as the command line says it.
        const Zone paris("Europe/Paris");
        engine.setTimeText(2, "02:30:00");
        engine.setDate(2, QDate(2027, 3, 28));
        EXPECT_EQ(engine.arm(2), A::Skipped);
        EXPECT_TRUE(engine.refusal(A::Skipped, 2).contains(notInLocalTime()));
        EXPECT_FALSE(engine.refusal(A::Skipped, 2).contains(QStringLiteral("attendu")));
    }
    engine.setTimeText(2, "07:29:57");
    engine.setDate(2, Day);
    EXPECT_EQ(engine.arm(2), A::Passed);
    EXPECT_FALSE(engine.row(2).armed);
    // The second under way is not over: it fires at once.
    engine.setTimeText(2, "07:29:58");
    clock.now += 700;
    EXPECT_EQ(engine.arm(2), A::Armed);
    clock.run(0);
    EXPECT_EQ(events, QStringList{"fired 2 (button 0) at 07:29:58.700"});
}

TEST_F(Engine, FiresOnceJustAfterItsSecondAndLooksEverySecond)
{
    armed("07:30:00", 3);
    ASSERT_TRUE(clock.due);
    EXPECT_EQ(*clock.due, at(Day, "07:29:59") + ScheduleEngine::LookAfterSecondMs);
    clock.run(1500);
    EXPECT_EQ(*clock.due - clock.now, 502);
    clock.runUntil(at(Day, "07:31:00"));
    EXPECT_EQ(events, QStringList{"fired 1 (button 3) at 07:30:00.002"});
    EXPECT_FALSE(engine.row(1).armed);
    EXPECT_FALSE(clock.due) << "nothing armed: no more looks";
}

TEST_F(Engine, ALateLookStillFiresEveryRowItPassedOnceInRowOrder)
{
    armed("07:30:01", 2);
    armed("07:30:00", 1);
    engine.addRow(Day, "07:30:00 ");
    clock.run(1000);
    clock.block(3000);
    clock.run(5000);
    EXPECT_EQ(events, (QStringList{"fired 1 (button 2) at 07:30:02.000", "fired 2 (button 1) at 07:30:02.000"}));
}

TEST_F(Engine, ARowNotArmedDoesNotHideAnArmedOneOfTheSameSecond)
{
    engine.addRow(Day, "07:30:00", 1);
    armed("7:30:00", 2);
    clock.run(5000);
    EXPECT_EQ(events, QStringList{"fired 2 (button 2) at 07:30:00.002"});
}

TEST_F(Engine, EditsOfArmedRows)
{
    // Moved later: armed for its new second.
    armed("07:30:00", 1);
    engine.setTimeText(1, "07:30:05");
    // Moved into the past, by its time or by its date: missed at the next look.
    armed("07:31:00", 2);
    armed("07:32:00", 3);
    clock.run(1000);
    engine.setTimeText(2, "07:20:00");
    engine.setDate(3, Day.addDays(-1));
    // Edited into another row's time, or into no time at all: stopped at once, nothing sent.
    armed("07:33:00", 4);
    armed("07:34:00", 5);
    engine.setTimeText(4, "07:30:05");
    engine.setTimeText(5, "03:09:");
    EXPECT_EQ(events, (QStringList{"stopped 4 (Duplicate)", "stopped 5 (Unreadable)"}));
    clock.run(1000);
    clock.runUntil(at(Day, "07:40:00"));
    EXPECT_EQ(events, (QStringList{"stopped 4 (Duplicate)", "stopped 5 (Unreadable)", "missed 2 (Moved)",
                                   "missed 3 (Moved)", "fired 1 (button 1) at 07:30:05.002"}));
    EXPECT_FALSE(engine.anyArmed());
}

TEST_F(Engine, AChangeOfTimeZoneMovesArmedRows)
{
    Zone zone("Europe/Paris");
    clock.now = at(Day, "07:29:58");
    armed("07:30:00", 1);
    armed("09:30:00", 2);
    EXPECT_EQ(engine.nextInstant(), at(Day, "07:30:00"));
    clock.run(1000);
    // 07:29:59 in Paris is 08:29:59 in Helsinki: the first row's second is over, the
    // second's comes an hour sooner.
    zone.set("Europe/Helsinki");
    const qint64 nineThirty = at(Day, "09:30:00");
    clock.run(1000);
    EXPECT_EQ(events, QStringList{"missed 1 (Moved)"});
    EXPECT_EQ(engine.nextInstant(), nineThirty);
    clock.runUntil(nineThirty + 1000);
    EXPECT_EQ(events, (QStringList{"missed 1 (Moved)", "fired 2 (button 2) at 09:30:00.002"}));
}

TEST_F(Engine, ClockJumpsAndSuspend)
{
    // Ten minutes forward over a row: too late, reported missed, nothing fired.
    armed("07:30:00", 1);
    armed("07:45:00", 2);
    clock.run(1000);
    clock.jumpTo(at(Day, "07:40:00"));
    clock.run(1000);
    EXPECT_EQ(events, QStringList{"missed 1 (Late)"});
    EXPECT_TRUE(engine.row(2).armed);

    // Within the minute of grace it still fires.
    events.clear();
    clock.jumpTo(at(Day, "07:45:50"));
    clock.run(1000);
    EXPECT_EQ(events, QStringList{"fired 2 (button 2) at 07:45:50.002"});

    // Set back over a fired row and a waiting one: the first fires nothing again, the
    // second fires once when its time comes.
    events.clear();
    armed("07:47:00", 3);
    clock.jumpTo(at(Day, "07:44:00"));
    clock.runUntil(at(Day, "07:50:00"));
    EXPECT_EQ(events, QStringList{"fired 3 (button 3) at 07:47:00.002"});
}

TEST(ScheduleTime, ReadsWhatAUserTypes)
{
    const struct
    {
        const char *text;
        const char *read; // empty: not a time
    } cases[] = {
        {"07:30:00", "07:30:00"}, {"7:3:9", "07:03:09"}, {" 07:30 \n", "07:30:00"}, {"23:59:59", "23:59:59"},
        {"24:00:00", ""},         {"07:60:00", ""},      {"07:30:00:00", ""},       {"7h30", ""},
        {"", ""},                 {"07:30:0O", ""},
    };
    for (const auto &c : cases) {
        const auto time = readTimeOfDay(QString::fromLatin1(c.text));
        EXPECT_EQ(time ? timeOfDayText(*time) : QString(), QString::fromLatin1(c.read)) << c.text;
    }
}

TEST(ScheduleTime, ClockChangesOfSpringAndAutumn)
{
    const QByteArray previous = qgetenv("TZ");
    qputenv("TZ", "Europe/Paris");
    tzset();
    // 02:30 does not exist on the last Sunday of March; 02:30 happens twice in October.
    EXPECT_FALSE(localInstant(QDate(2027, 3, 28), QTime(2, 30)));
    const auto twice = localInstant(QDate(2026, 10, 25), QTime(2, 30));
    ASSERT_TRUE(twice);
    EXPECT_EQ(QDateTime::fromMSecsSinceEpoch(*twice, Qt::UTC).time(), QTime(0, 30)); // still summer time
    EXPECT_EQ(*localInstant(QDate(2026, 12, 7), QTime(7, 30)),
              QDateTime(QDate(2026, 12, 7), QTime(6, 30), Qt::UTC).toMSecsSinceEpoch());
    if (previous.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", previous);
    tzset();
}

TEST(ScheduleFile, SavesAndRestoresRowsAgainstThePanel)
{
    const std::vector<SavedScheduleRow> rows{
        {QDate(2026, 12, 24), QStringLiteral("7:30:5"), 2, QStringLiteral("Volet séjour")},
        {QDate(2026, 12, 25), QStringLiteral("midi"), 0, QString()},
    };
    const QByteArray expected = "[Programateur]\r\nNombre de lignes=2\r\n\r\n"
                                "[Ligne1]\r\nDate=2026-12-24\r\nHeure=7:30:5\r\nBouton=2\r\nDescription=Volet s\xe9jour\r\n\r\n"
                                "[Ligne2]\r\nDate=2026-12-25\r\nHeure=midi\r\nBouton=0\r\nDescription=\r\n";
    EXPECT_EQ(writeSchedule(rows).toBytes(), expected);

    const std::vector<SavedScheduleRow> read = readSchedule(ProfileFile::fromBytes(expected)).rows;
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0].date, QDate(2026, 12, 24));
    EXPECT_EQ(read[0].time, QStringLiteral("7:30:5")) << "kept as typed";
    EXPECT_EQ(read[0].description, QStringLiteral("Volet séjour"));

    PanelButtons buttons(3);
    buttons[1].description = QStringLiteral("Lampe");
    buttons[2].description = QStringLiteral("Volet séjour");
    EXPECT_EQ(restoredButton(read[0], buttons), 2);
    buttons[2].description = QStringLiteral("Volet cuisine"); // the panel changed since
    EXPECT_EQ(restoredButton(read[0], buttons), 0);
    buttons.resize(2); // the button is gone
    EXPECT_EQ(restoredButton(read[0], buttons), 0);

    // A count beyond the limit, or no count at all, refuses the whole file.
    for (const char *count : {"100001", "-1", "beaucoup"}) {
        const ReadSchedule refused = readSchedule(ProfileFile::fromBytes(
            QByteArray("[Programateur]\r\nNombre de lignes=") + count + "\r\n[Ligne1]\r\nHeure=07:00:00\r\n"));
        EXPECT_TRUE(refused.rows.empty()) << count;
        EXPECT_TRUE(refused.refused.contains(QString::fromLatin1(count))) << refused.refused.toStdString();
    }
}

TEST(ClockSettings, TheDesktopsOwnToolFirstThenTheUsualOnes)
{
    const struct
    {
        const char *desktop;
        QStringList installed;
        QString program; // empty: none
    } cases[] = {
        {"ubuntu:GNOME", {"gnome-control-center", "systemsettings"}, "gnome-control-center"},
        {"KDE", {"gnome-control-center", "systemsettings5"}, "systemsettings5"},
        {"X-Cinnamon", {"cinnamon-settings", "gnome-control-center"}, "cinnamon-settings"},
        {"XFCE", {"systemsettings"}, "systemsettings"},
        {"", {}, ""},
    };
    for (const auto &c : cases) {
        const auto tool = clockSettingsTool(QString::fromLatin1(c.desktop),
                                            [&](const QString &program) { return c.installed.contains(program); });
        EXPECT_EQ(tool ? tool->program : QString(), c.program) << c.desktop;
    }
    EXPECT_EQ(*clockSettingsTool("KDE", [](const QString &p) { return p == "systemsettings"; }),
              (ClockSettingsTool{"systemsettings", {"kcm_clock"}}));
    EXPECT_TRUE(clockSettingsHelp().contains("timedatectl set-time"));
    EXPECT_TRUE(clockSettingsHelp().contains("timedatectl set-ntp true"));
}

} // namespace

TEST_F(Engine, AWeekdayRowSkipsTheWeekendAndKeepsFiringAfterAMiss)
{
    const QDate saturday(2026, 12, 12);
    clock.now = at(saturday, "07:00:00");
    repeating(saturday, "07:30:00", 0x1f); // Monday to Friday
    // Another row may share its second, and fires after it.
    const int daily = repeating(saturday, "07:30:00", Recurrence::EveryDay);
    EXPECT_EQ(daily, 2);
    clock.runUntil(at(saturday.addDays(2), "07:31:00"));
    EXPECT_EQ(firedOn, (QStringList{"12-12 07:30:00", "12-13 07:30:00", "12-14 07:30:00",
                                    "12-14 07:30:00"}));
    EXPECT_EQ(events.mid(2), (QStringList{"fired 1 (button 1) at 07:30:00.002", "fired 2 (button 2) at 07:30:00.002"}));
    // Asleep over Tuesday's occurrence: missed; Wednesday's still fires.
    events.clear();
    clock.runUntil(at(saturday.addDays(3), "07:00:00"));
    clock.jumpTo(at(saturday.addDays(3), "07:40:00"));
    clock.runUntil(at(saturday.addDays(4), "07:31:00"));
    EXPECT_EQ(events, (QStringList{"missed 1 (Late)", "missed 2 (Late)", "fired 1 (button 1) at 07:30:00.002",
                                   "fired 2 (button 2) at 07:30:00.002"}));
    EXPECT_TRUE(engine.row(1).armed && engine.row(2).armed);
    // Repeating rows are not held to the rule of distinct times, rows that fire once still are.
    engine.addRow(saturday.addDays(5), "07:30:00");
    EXPECT_EQ(engine.arm(3), ScheduleEngine::Arming::Armed);
    engine.addRow(saturday.addDays(6), "07:30:00");
    EXPECT_EQ(engine.arm(4), ScheduleEngine::Arming::Duplicate);
}

TEST_F(Engine, ADailyRowAcrossBothChangesOfTime)
{
    const Zone paris("Europe/Paris");
    const struct
    {
        QDate first;
        const char *time;
        QStringList fired;
    } cases[] = {
        // 02:30 does not exist on 28 March: the first second after the gap.
        {QDate(2027, 3, 27), "02:30:00", {"03-27 02:30:00", "03-28 03:00:00", "03-29 02:30:00"}},
        // 02:30 comes twice on 25 October: the first one only.
        {QDate(2026, 10, 24), "02:30:00", {"10-24 02:30:00", "10-25 02:30:00", "10-26 02:30:00"}},
    };
    for (const auto &c : cases) {
        firedOn.clear();
        engine.clear();
        clock.now = at(c.first, "00:00:00");
        repeating(c.first, c.time, Recurrence::EveryDay);
        clock.runUntil(at(c.first.addDays(2), "12:00:00"));
        EXPECT_EQ(firedOn, c.fired);
        EXPECT_TRUE(engine.row(1).armed);
    }
}

TEST_F(Engine, SunRows)
{
    const Zone paris("Europe/Paris");
    const QDate midsummer(2026, 6, 21);
    clock.now = at(midsummer, "12:00:00");
    engine.addRow(midsummer, "12:00:00");
    engine.setRecurrence(1, {0, Recurrence::Sun::Set, 15});
    EXPECT_EQ(engine.arm(1), ScheduleEngine::Arming::NoPlace);
    // Paris: sunset 21:58 that day in the almanacs.
    engine.setPlace(GeoPlace{48.8566, 2.3522});
    EXPECT_EQ(engine.arm(1), ScheduleEngine::Arming::Armed);
    EXPECT_EQ(engine.timeOf(1), QStringLiteral("au coucher du soleil + 15 min"));
    clock.runUntil(at(midsummer, "23:00:00"));
    ASSERT_EQ(firedOn.size(), 1);
    const QTime fired = QTime::fromString(firedOn[0].right(8), "hh:mm:ss");
    EXPECT_LE(std::abs(fired.secsTo(QTime(22, 13))), 60) << firedOn[0].toStdString();
    const qint64 sunset = SunTimes(midsummer, *engine.place()).sunset()->toSecsSinceEpoch();
    EXPECT_EQ(fired, QDateTime::fromSecsSinceEpoch(sunset + 15 * 60).time());

    // Tromsø in December: no sunrise; a row for that day is refused, a daily one waits for
    // the first sunrise of January, and says which days had none.
    engine.clear();
    events.clear();
    engine.setPlace(GeoPlace{69.6492, 18.9553});
    const QDate polar(2026, 12, 10);
    engine.addRow(polar, "08:00:00");
    engine.setRecurrence(1, {0, Recurrence::Sun::Rise, 0});
    EXPECT_EQ(engine.arm(1), ScheduleEngine::Arming::NoSun);
    engine.setRecurrence(1, {Recurrence::EveryDay, Recurrence::Sun::Rise, 0});
    EXPECT_EQ(engine.arm(1), ScheduleEngine::Arming::Armed);
    ASSERT_EQ(events.size(), 1);
    EXPECT_TRUE(events[0].startsWith("sunless 1 2026-12-10..2027-01-")) << events[0].toStdString();
    EXPECT_EQ(QDateTime::fromMSecsSinceEpoch(*engine.nextInstant()).date().month(), 1);
}

TEST(ScheduleFile, RepeatingAndSunRowsAndAnOlderFile)
{
    // An older file, with the place the settings wrote, saves back byte for byte.
    const QByteArray older = "[Programateur]\r\nNombre de lignes=1\r\nLatitude=48.8566\r\nLongitude=2.3522\r\n\r\n"
                             "[Ligne1]\r\nDate=2026-12-24\r\nHeure=07:30:00\r\nBouton=2\r\nDescription=Lampe\r\n";
    const ProfileFile olderFile = ProfileFile::fromBytes(older);
    const ReadSchedule read = readSchedule(olderFile);
    ASSERT_EQ(read.rows.size(), 1u);
    EXPECT_EQ(read.rows[0].recurrence, Recurrence{});
    EXPECT_FALSE(read.rows[0].armed);
    EXPECT_TRUE(read.problems.isEmpty());
    EXPECT_EQ(writeSchedule(read.rows, olderFile).toBytes(), older);

    // The new keys, written only where they say something.
    std::vector<SavedScheduleRow> rows = read.rows;
    rows.push_back({QDate(2026, 12, 1), "18:00", 3, "Jardin", {0x1f, Recurrence::Sun::Set, -15}, true});
    rows.push_back({QDate(2026, 12, 1), "06:45:00", 0, "", {Recurrence::EveryDay, Recurrence::Sun::None, 0}, false});
    const ProfileFile written = writeSchedule(rows, olderFile);
    EXPECT_TRUE(written.toBytes().contains("[Ligne2]\r\nDate=2026-12-01\r\nHeure=18:00\r\nBouton=3\r\nDescription=Jardin\r\n"
                                           "Repetition=1,2,3,4,5\r\nSoleil=coucher\r\nDecalage=-15\r\nArmee=1\r\n"));
    EXPECT_TRUE(written.toBytes().contains("Description=\r\nRepetition=chaque jour\r\n"));
    const ReadSchedule back = readSchedule(written);
    ASSERT_EQ(back.rows.size(), 3u);
    EXPECT_EQ(back.rows[1].recurrence, rows[1].recurrence);
    EXPECT_TRUE(back.rows[1].armed);
    EXPECT_EQ(back.rows[2].recurrence, rows[2].recurrence);

    // A value that cannot be read names its row and key, and the row stays disarmed.
    const ReadSchedule bad = readSchedule(ProfileFile::fromBytes(
        "[Programateur]\r\nNombre de lignes=2\r\n[Ligne1]\r\nHeure=07:00:00\r\nArmee=1\r\n"
        "[Ligne2]\r\nHeure=08:00:00\r\nRepetition=lundi\r\nSoleil=midi\r\nDecalage=900\r\nArmee=1\r\n"));
    ASSERT_EQ(bad.rows.size(), 2u);
    EXPECT_TRUE(bad.rows[0].armed);
    EXPECT_FALSE(bad.rows[1].armed);
    ASSERT_EQ(bad.problems.size(), 3);
    EXPECT_TRUE(bad.problems[0].startsWith(QStringLiteral("ligne 2, Repetition « lundi »"))) << bad.problems[0].toStdString();
    EXPECT_TRUE(bad.problems[1].startsWith(QStringLiteral("ligne 2, Soleil « midi »")));
    EXPECT_TRUE(bad.problems[2].startsWith(QStringLiteral("ligne 2, Decalage « 900 »")));
}

// A host that starts again hands each row what it last fired or missed: what was done stays
// done, the latest occurrence that fell meanwhile is caught up once, within the minute's
// grace, or reported missed.
TEST(EngineResume, CatchesUpOnceWithinTheGraceAndNeverTwice)
{
    using A = ScheduleEngine::Arming;
    const struct
    {
        quint8 weekdays;
        std::optional<qint64> accounted;
        qint64 now;
        A result;
        const char *events; // after the next look; due seconds as hh:mm:ss
        std::optional<qint64> next;
    } cases[] = {
        {0, at(Day, "07:30:00"), at(Day, "07:40:00"), A::Done, "", {}},              // a fired one-shot
        {0, {}, at(Day, "07:30:13"), A::Armed, "fired 07:30:00", {}},               // 13 s late
        {0, {}, at(Day, "07:32:00"), A::Armed, "missed 07:30:00", {}},              // older than the grace
        {0, at(Day, "07:00:00"), at(Day, "07:20:00"), A::Armed, "", at(Day, "07:30:00")},
        {Recurrence::EveryDay, at(Day.addDays(-3), "07:30:00"), at(Day, "07:30:13"), A::Armed, "fired 07:30:00",
         at(Day.addDays(1), "07:30:00")},
        {Recurrence::EveryDay, at(Day.addDays(-3), "07:30:00"), at(Day, "12:00:00"), A::Armed, "missed 07:30:00",
         at(Day.addDays(1), "07:30:00")},                                            // three days down: one miss
        {Recurrence::EveryDay, at(Day, "07:30:00"), at(Day, "07:30:20"), A::Armed, "", at(Day.addDays(1), "07:30:00")},
        {Recurrence::EveryDay, at(Day, "07:30:00"), at(Day, "07:00:00"), A::Armed, "", at(Day.addDays(1), "07:30:00")}, // clock set back
    };
    for (const auto &c : cases) {
        FakeScheduleClock clock;
        clock.now = c.now;
        ScheduleEngine engine(clock);
        QStringList events;
        const auto record = [&](const char *what, qint64 due) {
            events << QStringLiteral("%1 %2").arg(what, QDateTime::fromMSecsSinceEpoch(due).time().toString("hh:mm:ss"));
        };
        QObject::connect(&engine, &ScheduleEngine::fired, [&](int, int, qint64 due) { record("fired", due); });
        QObject::connect(&engine, &ScheduleEngine::missed, [&](int, qint64, ScheduleEngine::Miss, qint64 due) { record("missed", due); });
        const int i = engine.addRow(Day, "07:30:00", 1);
        engine.setRecurrence(i, {c.weekdays, Recurrence::Sun::None, 0});
        const QString name = QStringLiteral("weekdays %1 now %2").arg(c.weekdays).arg(QDateTime::fromMSecsSinceEpoch(c.now).toString());
        EXPECT_EQ(engine.resume(i, c.accounted), c.result) << name.toStdString();
        clock.run(100);
        EXPECT_EQ(events.join(", "), QString::fromLatin1(c.events)) << name.toStdString();
        EXPECT_EQ(engine.row(i).armed ? engine.instantOf(i) : std::nullopt, c.next) << name.toStdString();
    }
}
