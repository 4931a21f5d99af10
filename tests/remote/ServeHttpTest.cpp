#include "devices/ComPortPty.h"
#include "remote/HttpClient.h"

#include "devices/RelayCommand.h"
#include "panel/PanelConfig.h"
#include "scheduler/ScheduleFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include <sys/resource.h>

using namespace zelvar;
using namespace zelvar::testing;

namespace {

// zelvar-cli serve --http on a free loopback port in `dir`, its token read: the port, and
// the header that carries the token. `prepare` runs in the child before it starts.
struct ServedHttp
{
    QProcess serve;
    quint16 port = 0;
    QByteArray auth;
    QByteArray log;

    bool start(const QTemporaryDir &dir, const std::function<void()> &prepare = {},
               const std::function<void(QProcessEnvironment &)> &environment = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        if (environment)
            environment(env);
        serve.setProcessEnvironment(env);
        log.clear();
        serve.setWorkingDirectory(dir.path());
        if (prepare)
            serve.setChildProcessModifier(prepare);
        serve.start(QStringLiteral(ZELVAR_CLI), {QStringLiteral("serve"), QStringLiteral("--http"), QStringLiteral("127.0.0.1:0")});
        if (!logged(" port ", 10000))
            return false;
        port = quint16(log.mid(log.indexOf(" port ") + 6, 6).trimmed().toUInt());
        QFile tokenFile(dir.filePath(QStringLiteral("config/zelvar/remote-token")));
        if (!tokenFile.open(QIODevice::ReadOnly))
            return false;
        auth = "Authorization: Bearer " + tokenFile.readAll().trimmed() + "\r\n";
        return true;
    }

    // Whether the journal says `what` within the time given, the loop running meanwhile.
    bool logged(const QByteArray &what, int timeoutMs)
    {
        return processEventsUntil([&] {
            serve.waitForReadyRead(10);
            log += serve.readAllStandardOutput();
            return log.contains(what);
        }, timeoutMs);
    }
};

} // namespace

// zelvar-cli serve --http: the service answers as the service and plays an activity of its
// folder on its port.
TEST(ServeHttp, PlaysAnActivityAndAnswersAsTheService)
{
    QTemporaryDir dir;
    PseudoTerminal pty;
    ASSERT_TRUE(dir.isValid() && pty.isValid());
    PanelConfig config;
    config.settings.CurrentPortName = pty.slavePath();
    config.buttons = {ButtonConfig{On, 1, QStringLiteral("0"), 0, 0, QStringLiteral("Lampe"), 0, {}, QStringLiteral("Lampe")}};
    config.buttonsEverHeld = true;
    ASSERT_TRUE(writePanelConfig(config).save(dir.filePath(PanelFiles::config())).ok);
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("Activites")));
    QFile activity(dir.filePath(QStringLiteral("Activites/Jardin.ini")));
    ASSERT_TRUE(activity.open(QIODevice::WriteOnly));
    activity.write("[pistes]\r\nNombre total de piste=1\r\nBtn de boucle=125\r\ncurseur de taille=1\r\n"
                   "[piste1]\r\nNombre total de btns=1\r\nCode selectionne=1\r\nLeft du btn1=1\r\n");
    activity.close();

    ServedHttp served;
    ASSERT_TRUE(served.start(dir)) << served.log.constData();
    QProcess &serve = served.serve;
    const quint16 port = served.port;
    const QByteArray &auth = served.auth;

    const Answer health = exchange(port, httpRequest("GET", "/api/health", {}, auth));
    EXPECT_EQ(health.json()["host"].toString(), "service");
    EXPECT_TRUE(health.json()["port_open"].toBool());
    EXPECT_EQ(exchange(port, httpRequest("POST", "/api/sequence/play", R"({"activity":"Verger.ini"})", auth)).status, 404);
    const Answer play = exchange(port, httpRequest("POST", "/api/sequence/play", R"({"activity":"Jardin.ini"})", auth));
    EXPECT_EQ(play.status, 200) << play.body.constData();
    EXPECT_EQ(pty.read(5, 4000), QByteArray("S1N$#"));
    EXPECT_EQ(exchange(port, httpRequest("POST", "/api/sequence/stop", {}, auth)).status, 200);
    serve.terminate();
    EXPECT_TRUE(serve.waitForFinished(10000));
    EXPECT_TRUE(serve.readAllStandardOutput().contains("sequence Activites/Jardin.ini arrêtée"));
}

// With few descriptors (ulimit -n 64), idle connections neither use them all up nor keep the
// service busy refusing them: it still answers an authenticated request at once.
TEST(ServeHttp, FewDescriptorsAndManyIdleConnections)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ServedHttp served;
    ASSERT_TRUE(served.start(dir, [] {
        const rlimit few{64, 64};
        setrlimit(RLIMIT_NOFILE, &few);
    })) << served.log.constData();
    const quint16 port = served.port;

    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < 60; ++i) {
        idle.push_back(std::make_unique<QTcpSocket>());
        idle.back()->connectToHost(QHostAddress::LocalHost, port);
    }
    processEventsUntil([] { return false; }, 500);
    const Answer relays = exchange(port, httpRequest("GET", "/api/relays", {}, served.auth)); // given 3 s at most
    EXPECT_EQ(relays.status, 200) << relays.head.constData();
    served.serve.terminate();
    EXPECT_TRUE(served.serve.waitForFinished(10000));
}

// A board behind a link, as /dev/serial/by-id/… names an adapter: unplugged, the system takes
// the link away with the device (so its number, soon given to another pseudo-terminal, is not
// reached through it); plugged back, the link names a new device. The panel drives it by the link.
struct BoardBehindLink
{
    QTemporaryDir dir;
    std::unique_ptr<PseudoTerminal> first = std::make_unique<PseudoTerminal>();
    PseudoTerminal second;
    QString link = dir.filePath(QStringLiteral("usb-Relais-if00"));

    bool plugFirst() { return dir.isValid() && first->isValid() && second.isValid() && QFile::link(first->slavePath(), link); }
    void unplug()
    {
        first.reset();
        QFile::remove(link);
    }
    bool plugBack() { return QFile::link(second.slavePath(), link); }
    bool writePanel(PanelConfig &config)
    {
        config.settings.CurrentPortName = link;
        config.buttonsEverHeld = true;
        return writePanelConfig(config).save(dir.filePath(PanelFiles::config())).ok;
    }
};

// An adapter unplugged under the service, then plugged back as another device behind the
// same link (as /dev/serial/by-id/… gives it): one line when it goes and one when it is
// back, /api/health says so meanwhile, the alarm due during the loss is sent at the return,
// and the next one on the new device at the speed set.
TEST(ServeLostPort, AReplugBehindTheSameLinkIsReopenedAndTheAlarmsFollow)
{
    BoardBehindLink board;
    ASSERT_TRUE(board.plugFirst());
    QTemporaryDir &dir = board.dir;
    PseudoTerminal &second = board.second;
    const QString link = board.link;
    PanelConfig config;
    const auto button = [](int mode, int relay, const QString &name) {
        return ButtonConfig{mode, relay, QStringLiteral("0"), 0, 0, name, 0, {}, name};
    };
    config.buttons = {button(On, 1, QStringLiteral("Lampe")), button(Off, 2, QStringLiteral("Pompe"))};
    ASSERT_TRUE(board.writePanel(config));
    ServedHttp served;
    ASSERT_TRUE(served.start(dir)) << served.log.constData();
    QProcess &serve = served.serve;
    QByteArray &log = served.log;
    const auto logged = [&](const QByteArray &what, int timeoutMs) { return served.logged(what, timeoutMs); };
    const quint16 port = served.port;
    const QByteArray auth = served.auth;
    const auto lost = [&] { return exchange(port, httpRequest("GET", "/api/health", {}, auth)).json()["port_lost"].toBool(); };
    EXPECT_FALSE(lost());
    const auto relays = [&](const QByteArray &method, const QByteArray &body) {
        return exchange(port, httpRequest(method, "/api/relays", body, auth));
    };
    EXPECT_EQ(relays("PUT", R"({"3":"on"})").status, 200);
    // Answered once queued: the board has it before it is unplugged.
    EXPECT_EQ(board.first->read(5, 3000), QByteArray("S3N$#"));

    board.unplug();
    ASSERT_TRUE(logged("port perdu", 3000)) << log.constData();
    EXPECT_TRUE(lost());
    const QDateTime duringLoss = QDateTime::currentDateTime().addSecs(3);
    const auto row = [&](int seconds, int button) {
        const QDateTime at = duringLoss.addSecs(seconds);
        return SavedScheduleRow{at.date(), at.time().toString(QStringLiteral("hh:mm:ss")), button,
                                config.buttons[size_t(button - 1)].description, Recurrence{}, true};
    };
    // Read when it changes.
    ASSERT_TRUE(writeSchedule({row(0, 1), row(4, 2)}).save(dir.filePath(ScheduleFiles::path())).ok);
    EXPECT_TRUE(relays("PUT", R"({"4":"on"})").body.contains("perdu"));
    processEventsUntil([&] { return QDateTime::currentDateTime() > duringLoss.addMSecs(1000); }, 6000);
    EXPECT_FALSE(logged("fired", 0)) << "the alarm waits for the port";
    ASSERT_TRUE(board.plugBack());
    ASSERT_TRUE(logged("port retrouvé", 3000)) << log.constData();
    EXPECT_EQ(second.read(5, 3000), QByteArray("S1N$#"));
    EXPECT_FALSE(lost());
    EXPECT_EQ(relays("GET", {}).json()["3"].toString(), "on") << "the states known stay as they were";
    EXPECT_EQ(second.read(5, 8000), QByteArray("S2F$#")) << "the next alarm, on the new device";

    serve.terminate();
    EXPECT_TRUE(serve.waitForFinished(10000));
    log += serve.readAllStandardOutput();
    EXPECT_EQ(second.slaveSettings().c_ospeed, 9600u);
    // Named as the user gave it, the link, on one line each.
    EXPECT_EQ(log.count("port perdu " + link.toUtf8() + " : nouvel essai chaque seconde\n"), 1) << log.constData();
    EXPECT_EQ(log.count("port retrouvé " + link.toUtf8() + "\n"), 1) << log.constData();
    EXPECT_TRUE(log.contains("fired ligne 1 bouton 1 « Lampe » : au retour du port")) << log.constData();
    EXPECT_TRUE(log.contains("fired ligne 2 bouton 2 « Pompe »\n")) << log.constData();
    EXPECT_FALSE(log.contains("error")) << log.constData();
}

// A firing that waits for a lost port is not yet done: a service killed meanwhile and started
// again within the row's minute, once the board is back, sends it then.
TEST(ServeLostPort, AnAlarmWaitingForThePortOutlivesAKill)
{
    BoardBehindLink board;
    ASSERT_TRUE(board.plugFirst());
    QTemporaryDir &dir = board.dir;
    PanelConfig config;
    config.buttons = {ButtonConfig{On, 1, QStringLiteral("0"), 0, 0, QStringLiteral("Lampe"), 0, {}, QStringLiteral("Lampe")}};
    ASSERT_TRUE(board.writePanel(config));
    QProcess serve;
    QByteArray log;
    const auto start = [&] {
        log.clear();
        serve.setWorkingDirectory(dir.path());
        serve.start(QStringLiteral(ZELVAR_CLI), {QStringLiteral("serve")});
    };
    const auto logged = [&](const QByteArray &what, int timeoutMs) {
        return processEventsUntil([&] {
            serve.waitForReadyRead(10);
            log += serve.readAllStandardOutput();
            return log.contains(what);
        }, timeoutMs);
    };
    start();
    QByteArray said;
    ASSERT_TRUE(processEventsUntil([&] {
        serve.waitForReadyRead(10);
        said += serve.readAllStandardError();
        return said.contains("lanc");
    }, 10000)) << said.constData();
    processEventsUntil([] { return false; }, 500); // its port opened just after
    board.unplug();
    ASSERT_TRUE(logged("port perdu", 5000)) << log.constData();
    const QDateTime at = QDateTime::currentDateTime().addSecs(2);
    ASSERT_TRUE(writeSchedule({SavedScheduleRow{at.date(), at.time().toString(QStringLiteral("hh:mm:ss")), 1,
                                                QStringLiteral("Lampe"), Recurrence{}, true}})
                    .save(dir.filePath(ScheduleFiles::path())).ok);
    processEventsUntil([&] { return QDateTime::currentDateTime() > at.addMSecs(1500); }, 6000);
    serve.kill();
    serve.waitForFinished(5000);
    EXPECT_FALSE(log.contains("fired") || log.contains("missed")) << log.constData();

    ASSERT_TRUE(board.plugBack());
    start();
    EXPECT_EQ(board.second.read(5, 8000), QByteArray("S1N$#"));
    EXPECT_TRUE(logged("fired ligne 1 bouton 1 « Lampe » : en retard de", 3000))
        << log.constData() << serve.readAllStandardError().constData();
    serve.terminate();
    EXPECT_TRUE(serve.waitForFinished(10000));
}

// Two services of one user, in two folders with two boards: each holds its own port and
// serves its own HTTP port, and zelvar-cli in each folder reaches its own board.
TEST(ServeTwoFolders, EachServiceServesItsOwnBoard)
{
    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    struct Folder
    {
        QTemporaryDir dir;
        PseudoTerminal board;
        ServedHttp served;
    } folders[2];
    for (Folder &f : folders) {
        ASSERT_TRUE(f.dir.isValid() && f.board.isValid());
        PanelConfig config;
        config.settings.CurrentPortName = f.board.slavePath();
        config.buttons = {ButtonConfig{On, 1, QStringLiteral("0"), 0, 0, QStringLiteral("Lampe"), 0, {}, QStringLiteral("Lampe")}};
        config.buttonsEverHeld = true;
        ASSERT_TRUE(writePanelConfig(config).save(f.dir.filePath(PanelFiles::config())).ok);
        // The user's own instance names, as outside the tests: one per folder.
        ASSERT_TRUE(f.served.start(f.dir, {}, [&](QProcessEnvironment &env) {
            env.remove(QStringLiteral("ZELVAR_INSTANCE_NAME"));
            env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        })) << f.served.log.constData();
    }
    for (Folder &f : folders) {
        const QJsonObject health = exchange(f.served.port, httpRequest("GET", "/api/health", {}, f.served.auth)).json();
        EXPECT_EQ(health["host"].toString(), "service");
        EXPECT_EQ(health["port"].toString(), f.board.slavePath());
        EXPECT_TRUE(health["port_open"].toBool());
        EXPECT_EQ(exchange(f.served.port, httpRequest("PUT", "/api/relays", R"({"2":"on"})", f.served.auth)).status, 200);
        EXPECT_EQ(f.board.read(5, 3000), QByteArray("S2N$#"));

        QProcess cli;
        cli.setProcessEnvironment(f.served.serve.processEnvironment());
        cli.setWorkingDirectory(f.dir.path());
        cli.start(QStringLiteral(ZELVAR_CLI), {QStringLiteral("press"), QStringLiteral("1")});
        ASSERT_TRUE(cli.waitForFinished(10000));
        EXPECT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().constData();
        EXPECT_EQ(f.board.read(5, 3000), QByteArray("S1N$#"));
    }
    for (Folder &f : folders) {
        EXPECT_TRUE(f.board.drain(300).isEmpty()) << "nothing reached the other board";
        f.served.serve.terminate();
        EXPECT_TRUE(f.served.serve.waitForFinished(10000));
        EXPECT_FALSE((f.served.log + f.served.serve.readAllStandardOutput()).contains("le programme tient le port"));
    }
}

// A timed pulse's "off" outlives the service: killed during the pulse and started again after
// its end, the service sends the "off" at once.
TEST(ServeHttp, ATimedPulsesOffIsSentAfterARestart)
{
    QTemporaryDir dir;
    PseudoTerminal pty;
    ASSERT_TRUE(dir.isValid() && pty.isValid());
    // Held open, the board's side does not hang up when the service is killed.
    QFile board(pty.slavePath());
    ASSERT_TRUE(board.open(QIODevice::ReadWrite | QIODevice::Unbuffered));
    PanelConfig config;
    config.settings.CurrentPortName = pty.slavePath();
    config.buttonsEverHeld = true;
    ASSERT_TRUE(writePanelConfig(config).save(dir.filePath(PanelFiles::config())).ok);
    ServedHttp served;
    const auto state = [&](QProcessEnvironment &env) { env.insert(QStringLiteral("XDG_STATE_HOME"), dir.filePath(QStringLiteral("state"))); };
    ASSERT_TRUE(served.start(dir, {}, state)) << served.log.constData();
    EXPECT_EQ(exchange(served.port, httpRequest("POST", "/api/relays/3/pulse", R"({"seconds":1})", served.auth)).status, 200);
    EXPECT_EQ(pty.read(5, 3000), QByteArray("S3N$#"));
    served.serve.kill();
    served.serve.waitForFinished(5000);
    QThread::msleep(1200);
    EXPECT_EQ(pty.drain(), QByteArray()) << "nothing sends the off while no service runs";
    ASSERT_TRUE(served.start(dir, {}, state)) << served.log.constData();
    EXPECT_EQ(pty.read(5, 3000), QByteArray("S3F$#"));
    EXPECT_EQ(pty.drain(1500), QByteArray()) << "sent once";
    served.serve.terminate();
    EXPECT_TRUE(served.serve.waitForFinished(10000));
}
