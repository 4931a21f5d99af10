#include "panel/PanelConfig.h"
#include "devices/RelayCommand.h"

#include "devices/ComPortPty.h"
#include "scheduler/ScheduleFile.h"
#include "common/SingleInstance.h"

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDateTime>
#include <QFileInfo>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QThread>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace zelvar;
using zelvar::testing::PseudoTerminal;

namespace {

// `zelvar-cli at` in a working directory whose panel drives a pseudo-terminal: button 1 is
// relay 1 on, button 2 a macro, button 3 relay 2 off, button 4 an infrared code that no
// transmitter sends.
class CliAt : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid() && pty.isValid());
        writePanel(true);
    }

    void writePanel(bool withPort, const QString &port = {}, bool withVolet = false, int voletMode = On)
    {
        PanelConfig config;
        config.settings.CurrentPortName = port.isEmpty() ? pty.slavePath() : port;
        const auto button = [](int mode, int relay, const char *description) {
            ButtonConfig b;
            b.mode = mode;
            b.relay = relay;
            b.description = QString::fromLatin1(description);
            b.caption = b.description.left(3);
            b.prontoCode = QStringLiteral("0000 006D 0000 0001 0020 0030");
            return b;
        };
        config.buttons = {button(On, 1, "Lampe"), button(Macros, 0, "Macro"), button(Off, 2, "Pompe"),
                          button(UsbUirt, 0, "Tele")};
        if (withVolet)
            config.buttons.push_back(button(voletMode, 3, "Volet"));
        config.buttonsEverHeld = true;
        ProfileFile file = writePanelConfig(config);
        if (!withPort) {
            QByteArray bytes = file.toBytes();
            bytes.replace(("\r\n" + PanelKeys::PortName + "=" + pty.slavePath()).toLatin1(), QByteArray());
            file = ProfileFile::fromBytes(bytes);
        }
        ASSERT_TRUE(file.save(dir.filePath(PanelFiles::config())).ok);
    }

    void start(const QStringList &arguments, const QString &timeZone = QString())
    {
        start(process, arguments, timeZone);
    }
    void start(QProcess &p, const QStringList &arguments, const QString &timeZone = QString())
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LANGUAGE"), QStringLiteral("en"));
        env.insert(QStringLiteral("ZELVAR_UUIRT_LIBRARY"), dir.filePath(QStringLiteral("none.so")));
        env.insert(QStringLiteral("ZELVAR_LIRC_DEVICE"), dir.filePath(QStringLiteral("no-lirc")));
        if (!timeZone.isEmpty())
            env.insert(QStringLiteral("TZ"), timeZone);
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(dir.path());
        p.start(QStringLiteral(ZELVAR_CLI), QStringList{command} + arguments);
        ASSERT_TRUE(p.waitForStarted());
    }

    int finish() { return finish(process); }
    static int finish(QProcess &p)
    {
        p.waitForFinished(30000);
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

    static QStringList when(const QDateTime &t)
    {
        return {t.date().toString(Qt::ISODate), t.time().toString(QStringLiteral("hh:mm:ss"))};
    }

    // A whole second more than the two seconds of the port's early opening ahead.
    static QDateTime secondAhead()
    {
        const QDateTime t = QDateTime::currentDateTime().addSecs(3);
        return QDateTime(t.date(), QTime(t.time().hour(), t.time().minute(), t.time().second()));
    }

    QString command = QStringLiteral("at");
    QTemporaryDir dir;
    PseudoTerminal pty;
    QProcess process;
};

// Real pauses, a real clock: nothing waits before an "On" button's command, and the port is
// open before its second. The bound is generous; the bench measures the few milliseconds.
TEST_F(CliAt, FiresTheButtonJustAfterItsSecond)
{
    const QDateTime second = secondAhead();
    start(when(second) << QStringLiteral("1"));
    const QByteArray wire = pty.read(5, 6000);
    const qint64 arrived = QDateTime::currentMSecsSinceEpoch();
    EXPECT_EQ(wire, QByteArray("S1N$#"));
    EXPECT_GE(arrived, second.toMSecsSinceEpoch());
    EXPECT_LT(arrived, second.toMSecsSinceEpoch() + 100) << "within a few milliseconds of its second";
    EXPECT_EQ(finish(), 0) << process.readAllStandardError().toStdString();
    // The line starts with the time the command was written.
    const QString line = QString::fromUtf8(process.readAllStandardOutput());
    EXPECT_TRUE(line.contains("S1N$#")) << line.toStdString();
    const QDateTime written = QDateTime::fromString(line.left(23), QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
    EXPECT_GE(written.toMSecsSinceEpoch(), second.toMSecsSinceEpoch()) << line.toStdString();
    EXPECT_LE(written.toMSecsSinceEpoch(), arrived) << line.toStdString();
}

// The first to open the port holds it through the second; the other finds it busy and
// tries again until it is free. The buttons of one command fire in the order given, and
// one that fails (no infrared transmitter) does not stop the next.
TEST_F(CliAt, TwoCommandsForOneSecondBothReachTheBoard)
{
    const QDateTime second = secondAhead();
    QProcess other;
    start(when(second) << QStringLiteral("4") << QStringLiteral("1") << QStringLiteral("2"));
    start(other, when(second) << QStringLiteral("3"));
    const int status = finish();
    const QByteArray complaint = process.readAllStandardError();
    EXPECT_EQ(status, 2) << complaint.toStdString();
    EXPECT_TRUE(complaint.contains("Tele")) << complaint.toStdString();
    EXPECT_EQ(finish(other), 0) << other.readAllStandardError().toStdString();
    const QByteArray wire = pty.drain(100);
    EXPECT_EQ(wire.size(), 10) << wire.toStdString();
    EXPECT_TRUE(wire.contains("S1N$#")) << wire.toStdString();
    EXPECT_TRUE(wire.contains("S2F$#")) << wire.toStdString();
    const QString said = QString::fromUtf8(process.readAllStandardOutput());
    EXPECT_TRUE(said.indexOf("S1N$#") < said.indexOf("rien")) << said.toStdString();
}

TEST_F(CliAt, APastSecondSendsNothing)
{
    start(when(QDateTime::currentDateTime().addSecs(-5)) << QStringLiteral("1"));
    EXPECT_EQ(finish(), 1);
    EXPECT_TRUE(pty.drain(100).isEmpty());
}

TEST_F(CliAt, InterruptedBeforeItsTimeSendsNothing)
{
    start(when(QDateTime::currentDateTime().addSecs(60)) << QStringLiteral("1"));
    process.setReadChannel(QProcess::StandardError);
    ASSERT_TRUE(process.waitForReadyRead(10000)); // the wait has begun
    process.terminate();
    EXPECT_EQ(finish(), 1);
    EXPECT_TRUE(pty.drain(100).isEmpty());
}

TEST_F(CliAt, StatusesOfWhatCannotBeDone)
{
    const QDateTime soon = QDateTime::currentDateTime().addSecs(1);
    const struct
    {
        QStringList arguments;
        int status;
        const char *timeZone;
    } cases[] = {
        {when(soon) << "9", 64, ""},                                  // no button 9
        {when(soon) << "1" << "x", 64, ""},
        {when(soon) << "0", 64, ""},
        {QStringList{"2026-13-01", "07:30:00", "1"}, 64, ""},
        {QStringList{"07:61:00", "1"}, 64, ""},
        {QStringList{"2027-03-28", "02:30:00", "1"}, 64, "Europe/Paris"}, // skipped by summer time
    };
    for (const auto &c : cases) {
        start(c.arguments, QString::fromLatin1(c.timeZone));
        EXPECT_EQ(finish(), c.status) << c.arguments.join(' ').toStdString();
    }
    // A macro sends nothing, says so, and that is no failure.
    start(when(QDateTime::currentDateTime().addSecs(1)) << "2");
    EXPECT_EQ(finish(), 0);
    EXPECT_TRUE(process.readAllStandardOutput().contains("rien"));
    EXPECT_TRUE(pty.drain(100).isEmpty());

    // No port in the panel file and none given: not COM1 by default.
    writePanel(false);
    start(when(soon) << "1");
    EXPECT_EQ(finish(), 2);
}

// `zelvar-cli serve` in the same folder: the rows of Programateur.ini saved armed.
class CliServe : public CliAt
{
protected:
    CliServe() { command = QStringLiteral("serve"); }

    void writeRows(const QList<std::pair<QDateTime, int>> &rows)
    {
        std::vector<SavedScheduleRow> saved;
        for (const auto &[when, button] : rows)
            saved.push_back({when.date(), when.time().toString(QStringLiteral("hh:mm:ss")), button,
                             button == 1 ? QStringLiteral("Lampe") : button == 3 ? QStringLiteral("Pompe") : QStringLiteral("Volet"),
                             Recurrence{}, true});
        ASSERT_TRUE(writeSchedule(saved).save(dir.filePath(ScheduleFiles::path())).ok);
    }

    // Waits until the service has armed its rows.
    void waitArmed()
    {
        QByteArray said;
        process.setReadChannel(QProcess::StandardError);
        while (!said.contains("lancée(s)") && process.waitForReadyRead(6000))
            said += process.readAllStandardError();
        ASSERT_TRUE(said.contains("lancée(s)")) << said.toStdString();
    }
    QStringList stop()
    {
        process.terminate();
        EXPECT_EQ(finish(), 0) << process.readAllStandardError().toStdString();
        return QString::fromUtf8(said + process.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    }
    // Waits, within a generous bound, for the journal's first n lines.
    void waitLines(int n)
    {
        process.setReadChannel(QProcess::StandardOutput);
        while (said.count('\n') < n && process.waitForReadyRead(10000))
            said += process.readAllStandardOutput();
    }
    QByteArray said; // the journal read so far
    static void sleepUntil(const QDateTime &t)
    {
        QThread::msleep(std::max<qint64>(0, QDateTime::currentDateTime().msecsTo(t)));
    }
    static QDateTime wholeSecond(const QDateTime &t) { return t.addMSecs(-t.time().msec()); }
};

// The row fires on time and says so; the file read again in the row's own second, on
// SIGHUP and then changed, does not fire it twice, and the row added fires; SIGTERM ends it.
TEST_F(CliServe, FiresArmedRowsAndReadsTheFileAgainWithoutFiringTwice)
{
    // Held open, the board's side does not hang up when the service is killed.
    const int board = ::open(pty.slavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(board, 0);
    const QDateTime first = secondAhead();
    writeRows({{first, 1}});
    start({});
    EXPECT_EQ(pty.read(5, 6000), QByteArray("S1N$#"));
    ::kill(pid_t(process.processId()), SIGHUP);
    const QDateTime second = first.addSecs(3);
    writeRows({{first, 1}, {second, 3}});
    EXPECT_EQ(pty.read(5, 8000), QByteArray("S2F$#"));
    EXPECT_TRUE(pty.drain(1500).isEmpty()) << "nothing fired twice";
    process.terminate();
    EXPECT_EQ(finish(), 0) << process.readAllStandardError().toStdString();
    const QStringList lines = QString::fromUtf8(process.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << lines.join(u'\n').toStdString();
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral(" fired ligne 1 bouton 1 « Lampe »"))) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral(" fired ligne 2 bouton 3 « Pompe »"))) << lines[1].toStdString();
    const QDateTime written = QDateTime::fromString(lines[0].section(u' ', 0, 0), Qt::ISODateWithMs);
    EXPECT_GE(written.toMSecsSinceEpoch(), first.toMSecsSinceEpoch()) << lines[0].toStdString();
    EXPECT_LT(written.toMSecsSinceEpoch(), first.toMSecsSinceEpoch() + 1000) << lines[0].toStdString();
}

// Without a panel file the firing is refused and logged; an unreadable schedule is status 1.
TEST_F(CliServe, RefusesWithoutPanelAndStopsOnAnUnreadableFile)
{
    ASSERT_TRUE(QFile::remove(dir.filePath(PanelFiles::config())));
    writeRows({{secondAhead().addSecs(-2), 1}});
    start({});
    process.setReadChannel(QProcess::StandardOutput);
    ASSERT_TRUE(process.waitForReadyRead(6000));
    const QString line = QString::fromUtf8(process.readLine());
    EXPECT_TRUE(line.contains(QStringLiteral(" refused ligne 1 bouton 1 « Lampe »"))) << line.toStdString();
    process.kill();
    finish();

    QFile::remove(dir.filePath(ScheduleFiles::path()));
    ASSERT_TRUE(QDir(dir.path()).mkdir(ScheduleFiles::path()));
    start({});
    EXPECT_EQ(finish(), 1);
}

// The rows' memory outlives the service: after a kill and a restart, a one-shot already
// fired is silent, a row 13 s late fires at once, one older is logged missed once with its
// time; a third start says nothing at all.
TEST_F(CliServe, ARestartRemembersWhatFiredAndCatchesUpWhatFellMeanwhile)
{
    // Held open, the board's side does not hang up when the service is killed.
    const int board = ::open(pty.slavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(board, 0);
    const QDateTime first = secondAhead();
    writeRows({{first, 1}});
    start({});
    EXPECT_EQ(pty.read(5, 6000), QByteArray("S1N$#"));
    // Killed once the firing is done (its pauses included) and logged.
    process.setReadChannel(QProcess::StandardOutput);
    ASSERT_TRUE(process.waitForReadyRead(3000));
    QThread::msleep(300);
    process.kill();
    finish();
    const QDateTime now = wholeSecond(QDateTime::currentDateTime());
    writeRows({{first, 1}, {now.addSecs(-13), 3}, {now.addSecs(-120), 1}});
    start({});
    waitArmed();
    EXPECT_EQ(pty.read(5, 3000), QByteArray("S2F$#"));
    EXPECT_EQ(pty.drain(1000), QByteArray());
    const QStringList lines = stop();
    said.clear();
    ASSERT_EQ(lines.size(), 2) << lines.join(u'\n').toStdString();
    // The catch-up is logged once written, after the row found missed at start.
    EXPECT_TRUE(lines[1].contains(QStringLiteral(" fired ligne 2 bouton 3 « Pompe » : en retard de 1"))) << lines[1].toStdString();
    const QDateTime old = now.addSecs(-120);
    EXPECT_TRUE(lines[0].contains(QStringLiteral(" missed ligne 3 bouton 1 « Lampe » : prévue le ")
                                  + old.toOffsetFromUtc(old.offsetFromUtc()).toString(Qt::ISODate)))
        << lines[0].toStdString();
    start({});
    waitArmed();
    EXPECT_EQ(pty.drain(1000), QByteArray());
    EXPECT_EQ(stop(), QStringList());
    ::close(board);
}

// An editor that empties the file, then writes it whole after a row's second: the row in
// force fires on time, once. A file deleted is said, and its rows stop.
TEST_F(CliServe, AFileCaughtHalfWrittenKeepsItsRowsAndADeletedOneStopsThem)
{
    const QDateTime second = secondAhead();
    writeRows({{second, 1}, {second.addSecs(5), 3}});
    const QString path = dir.filePath(ScheduleFiles::path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray whole = file.readAll();
    file.close();
    start({});
    waitArmed();
    sleepUntil(second.addMSecs(-700));
    ASSERT_TRUE(file.resize(0));
    sleepUntil(second.addMSecs(600));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(whole);
    file.close();
    EXPECT_EQ(pty.read(5, 3000), QByteArray("S1N$#"));
    sleepUntil(second.addSecs(2));
    ASSERT_TRUE(QFile::remove(path));
    EXPECT_TRUE(pty.drain(int(QDateTime::currentDateTime().msecsTo(second.addSecs(6)))).isEmpty());
    const QStringList lines = stop();
    ASSERT_EQ(lines.size(), 2) << lines.join(u'\n').toStdString();
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral(" fired ligne 1 bouton 1 « Lampe »"))) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral(" error Programateur.ini : 1 ligne(s) lancée(s) arrêtée(s), fichier supprimé")))
        << lines[1].toStdString();
}

// Zelvar2.ini is read again: a row for a button it lacks is refused at once, and fires once
// the button is there, on the port the file now names; a firing held up says how late; an
// error's reason stays on its line.
TEST_F(CliServe, ThePanelIsReadAgainAndEachEventIsOneLine)
{
    const QDateTime second = secondAhead();
    writeRows({{second, 1}, {second.addSecs(4), 5}});
    start({});
    waitArmed();
    sleepUntil(second.addMSecs(-500));
    ::kill(pid_t(process.processId()), SIGSTOP);
    sleepUntil(second.addMSecs(2500));
    ::kill(pid_t(process.processId()), SIGCONT);
    EXPECT_EQ(pty.read(5, 2000), QByteArray("S1N$#"));
    writePanel(true, dir.filePath(QStringLiteral("no-such-tty")), true);
    waitLines(5);
    const QStringList lines = stop();
    ASSERT_EQ(lines.size(), 5) << lines.join(u'\n').toStdString();
    EXPECT_TRUE(lines[0].contains(QStringLiteral(" refused ligne 2 bouton 5 « Volet »"))) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].contains(QStringLiteral(" fired ligne 1 bouton 1 « Lampe » : en retard de 2,"))) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].contains(QStringLiteral(" port ") + dir.filePath(QStringLiteral("no-such-tty")))) << lines[2].toStdString();
    // The host opens its new port at once, and the row's firing tries again.
    EXPECT_TRUE(lines[3].contains(QStringLiteral(" error port "))) << lines[3].toStdString();
    EXPECT_TRUE(lines[4].contains(QStringLiteral(" error ligne 2 bouton 5 « Volet » : "))) << lines[4].toStdString();
    EXPECT_TRUE(lines[4].contains(QStringLiteral(" : périphérique introuvable"))) << lines[4].toStdString();
    for (const QString &line : lines)
        EXPECT_TRUE(QDateTime::fromString(line.section(u' ', 0, 0), Qt::ISODateWithMs).isValid()) << line.toStdString();
}

// What `serve` would fire next, as `systemctl list-timers` lists it.
TEST_F(CliServe, NextListsTheComingFiringsInOrder)
{
    const QDateTime soon = wholeSecond(QDateTime::currentDateTime()).addSecs(3600);
    std::vector<SavedScheduleRow> rows = {
        {soon.date(), soon.time().toString("hh:mm:ss"), 1, QStringLiteral("Lampe"), Recurrence{}, true},
        {QDate(2020, 1, 1), QStringLiteral("23:59:58"), 3, QStringLiteral("Pompe"), Recurrence{Recurrence::EveryDay}, true},
        {soon.date(), soon.addSecs(60).time().toString("hh:mm:ss"), 3, QStringLiteral("Pompe"), Recurrence{}, false},
        {QDate(2020, 1, 1), QStringLiteral("07:00:00"), 1, QStringLiteral("Lampe"), Recurrence{}, true}, // over
    };
    ASSERT_TRUE(writeSchedule(rows).save(dir.filePath(ScheduleFiles::path())).ok);
    command = QStringLiteral("next");
    start({QStringLiteral("4"), QStringLiteral("--json")});
    ASSERT_EQ(finish(), 0) << process.readAllStandardError().toStdString();
    const QJsonArray next = QJsonDocument::fromJson(process.readAllStandardOutput()).array();
    ASSERT_EQ(next.size(), 4);
    QStringList shown;
    for (const QJsonValue &v : next) {
        const QJsonObject o = v.toObject();
        const QDateTime at = QDateTime::fromString(o["at"].toString(), Qt::ISODate);
        EXPECT_EQ(at.offsetFromUtc(), QDateTime::currentDateTime().offsetFromUtc());
        shown << QStringLiteral("%1 %2 %3 %4").arg(o["row"].toInt()).arg(o["button"].toInt()).arg(o["caption"].toString(),
                                                                                                   at.time().toString());
    }
    EXPECT_EQ(next[0].toObject()["description"].toString().left(3), next[0].toObject()["caption"].toString());
    const QString daily = QStringLiteral("2 3 Pom 23:59:58");
    QStringList expected = {daily, daily, daily, daily};
    // The one-shot row takes its place among the daily ones, by time.
    QDateTime daily1(QDate::currentDate(), QTime(23, 59, 58));
    if (daily1 < QDateTime::currentDateTime())
        daily1 = daily1.addDays(1);
    expected.insert(soon < daily1 ? 0 : 1, QStringLiteral("1 1 Lam ") + soon.time().toString());
    expected.removeLast();
    EXPECT_EQ(shown, expected);

    start({});
    ASSERT_EQ(finish(), 0);
    const QStringList text = QString::fromUtf8(process.readAllStandardOutput()).split(u'\n');
    EXPECT_TRUE(text[0].startsWith(QStringLiteral("PROCHAINE"))) << text[0].toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("10 déclenchement(s) listé(s)."))) << text.join(u'\n').toStdString();
}

// The lock alone decides whether a service runs in a folder, whatever its file holds: a first
// service that could not write it (a full runtime folder) once let a second one start, and
// both fired each row. A service that can neither take nor prove the host's lock (held by a
// process that does not answer) does not start either.
TEST_F(CliServe, StartsOnlyWhenItHoldsItsFolderAndTheHostsLock)
{
    QProcess first;
    first.setChildProcessModifier([] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit none{0, 0};
        ::setrlimit(RLIMIT_FSIZE, &none);
    });
    start(first, {});
    for (QDeadlineTimer deadline(5000); !SingleInstance::serviceRunsIn(dir.path()) && !deadline.hasExpired();)
        QThread::msleep(50);
    ASSERT_TRUE(SingleInstance::serviceRunsIn(dir.path()));
    QProcess second;
    start(second, {});
    EXPECT_EQ(finish(second), 1);
    EXPECT_TRUE(second.readAllStandardError().contains("un service tourne déjà dans ce dossier"));
    first.kill();
    finish(first);

    const QByteArray lockPath = QFile::encodeName(SingleInstance::socketPath() + QStringLiteral(".lock"));
    const int lock = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_EQ(::flock(lock, LOCK_EX | LOCK_NB), 0);
    start({});
    EXPECT_EQ(finish(), 1);
    EXPECT_TRUE(process.readAllStandardError().contains("ni pris ni prouvé"));
    ::close(lock);
}

// Under its unit (Type=notify, WatchdogSec), the service works in the desktop program's
// folder, created when missing, says READY=1 once its rows are armed and pings the watchdog
// at half the interval systemd gives.
TEST_F(CliServe, TellsSystemdItIsReadyAndAliveInTheFolderItCreated)
{
    const int notify = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address = {AF_UNIX, {}};
    const QByteArray socketPath = QFile::encodeName(dir.filePath(QStringLiteral("notify")));
    std::strncpy(address.sun_path, socketPath.constData(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(notify, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    const QString data = dir.filePath(QStringLiteral("data"));
    const std::pair<const char *, QByteArray> environment[] = {
        {"NOTIFY_SOCKET", socketPath}, {"WATCHDOG_USEC", "400000"}, {"XDG_DATA_HOME", QFile::encodeName(data)}};
    for (const auto &[name, value] : environment)
        qputenv(name, value);
    start({"--service-folder"});
    for (const auto &[name, value] : environment)
        qunsetenv(name);

    QByteArrayList said;
    char message[256];
    for (QDeadlineTimer deadline(5000); said.count("WATCHDOG=1") < 2 && !deadline.hasExpired();) {
        pollfd p{notify, POLLIN, 0};
        const ssize_t n = ::poll(&p, 1, 100) > 0 ? ::recv(notify, message, sizeof message, 0) : 0;
        if (n > 0)
            said << QByteArray(message, int(n)).trimmed();
    }
    ::close(notify);
    EXPECT_EQ(said.value(0), "READY=1") << said.join(' ').constData();
    EXPECT_EQ(said.count("WATCHDOG=1"), 2) << said.join(' ').constData();
    EXPECT_EQ(QFileInfo(data + QStringLiteral("/zelvar")).permissions() & 0x0777, QFileDevice::Permissions(0x0700));
    process.terminate();
    EXPECT_EQ(finish(), 0) << process.readAllStandardError().constData();
}

} // namespace

// At its start the service puts each period's relay in the state it should be in: on inside
// its period (across midnight too), and another period of the same pump, outside its own
// period, does not switch it off; a period that toggles is refused and sends nothing.
TEST_F(CliServe, PeriodsPutTheirRelaysInTheirStateAtStartAndAToggleIsRefused)
{
    writePanel(true, {}, true, Bistable);
    const QDateTime now = wholeSecond(QDateTime::currentDateTime());
    const auto period = [&](int from, int to, int start, int end, const char *startName, const char *endName) {
        SavedScheduleRow row{now.date().addDays(-1), now.addSecs(from).time().toString(QStringLiteral("hh:mm:ss")), start,
                             QString::fromLatin1(startName), {Recurrence::EveryDay}, true};
        row.end = PeriodEnd{now.addSecs(to).time().toString(QStringLiteral("hh:mm:ss")), Recurrence::Sun::None, 0, end};
        row.endDescription = QString::fromLatin1(endName);
        return row;
    };
    ASSERT_TRUE(writeSchedule({period(-3600, 3600, 1, 3, "Lampe", "Pompe"), period(3600, 7200, 1, 3, "Lampe", "Pompe"),
                               period(-3600, 3600, 5, 3, "Volet", "Pompe")})
                    .save(dir.filePath(ScheduleFiles::path()))
                    .ok);
    start({});
    EXPECT_EQ(pty.read(5, 2500), QByteArray("S1N$#"));
    EXPECT_EQ(pty.drain(500), QByteArray()) << "neither the pump's other period nor the toggle sends anything";
    const QStringList lines = stop();
    ASSERT_EQ(lines.size(), 2) << lines.join(u'\n').toStdString();
    EXPECT_TRUE(lines[0].contains(QStringLiteral(" refused ligne 3 bouton 5 « Volet » : « Volet » bascule"))) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral(" asserted ligne 1 bouton 1 « Lampe » : dans sa période"))) << lines[1].toStdString();
}
