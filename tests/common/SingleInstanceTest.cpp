#include "app/Form_Base.h"
#include "forms/Forms.h"
#include "common/SingleInstance.h"
#include "common/Pause.h"
#include "panel/Form_ActBtn.h"
#include "panel/PanelConfig.h"
#include "scheduler/ScheduleFile.h"

#include "../devices/ComPortPty.h"
#include "cli/CliRun.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>
#include <gtest/gtest.h>

#include <csignal>
#include <future>
#include <optional>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace zelvar;
using zelvar::testing::PseudoTerminal;

namespace {

// Runs the program in a working directory of its own whose panel drives a pseudo-terminal,
// under an instance name no other test uses.
class Instances : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid() && pty.isValid());
        PanelConfig config;
        config.settings.CurrentPortName = pty.slavePath();
        ASSERT_TRUE(writePanelConfig(config).save(dir.filePath(PanelFiles::config())).ok);
        name = QStringLiteral("zelvar-test-") + QUuid::createUuid().toString(QUuid::Id128);
    }

    void TearDown() override
    {
        for (auto &process : processes) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(5000);
            }
        }
        QFile::remove(path());
        QFile::remove(path() + QStringLiteral(".lock"));
        QDir folder(SingleInstance::privateFolder());
        for (const QString &lock : folder.entryList({name + QStringLiteral(".service-*")}, QDir::Files))
            QFile::remove(folder.filePath(lock));
    }

    QString path() const { return QDir(SingleInstance::privateFolder()).filePath(name); }

    QProcess *start()
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("ZELVAR_INSTANCE_NAME"), name);
        process->setProcessEnvironment(environment);
        process->setWorkingDirectory(dir.path());
        process->start(QStringLiteral(ZELVAR_PROGRAM), {});
        EXPECT_TRUE(process->waitForStarted(5000));
        processes.push_back(std::move(process));
        return processes.back().get();
    }

    // The running program answers a restore request once its window is back.
    bool answers(int timeoutMs = 15000)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            if (SingleInstance::askToRestore(name, 1000))
                return true;
            QTest::qWait(100);
        }
        return false;
    }

    QTemporaryDir dir;
    PseudoTerminal pty;
    QString name;
    std::vector<std::unique_ptr<QProcess>> processes;
};

TEST_F(Instances, SecondStartRestoresTheFirstAndEndsWithoutAWindow)
{
    QProcess *first = start();
    ASSERT_TRUE(answers());

    QProcess *second = start();
    ASSERT_TRUE(second->waitForFinished(10000));
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_EQ(first->state(), QProcess::Running);
    // Only one program ever opened the port.
    EXPECT_TRUE(answers(2000));
}

TEST_F(Instances, AKilledInstanceDoesNotStopTheNextStart)
{
    QProcess *first = start();
    ASSERT_TRUE(answers());
    first->kill();
    ASSERT_TRUE(first->waitForFinished(5000));
    EXPECT_TRUE(QFile::exists(path())); // its socket stays behind

    QProcess *next = start();
    ASSERT_TRUE(answers());
    EXPECT_EQ(next->state(), QProcess::Running);
}

// A lock file left by a crash, emptied or filled with garbage, or naming a process that is
// gone, once made every start give up after five seconds.
TEST_F(Instances, ALeftoverLockWhateverItHoldsDoesNotStopAStart)
{
    for (const QByteArray &content : {QByteArray(), QByteArray("\x01garbage without a line end"),
                                      QByteArray("2147483646\nelsewhere\nzelvar\n")}) {
        QFile lock(path() + QStringLiteral(".lock"));
        ASSERT_TRUE(lock.open(QIODevice::WriteOnly | QIODevice::Truncate));
        lock.write(content);
        lock.close();
        SingleInstance instance(host::Role::Program, name);
        EXPECT_EQ(instance.claim(), SingleInstance::Claim::Held);
        EXPECT_TRUE(instance.guarded()) << content.constData();
    }
}

// Another account that answered "restored" on the instance's socket once made every start
// end at once without a window. The peer's user is checked on both sides.
TEST_F(Instances, AnotherUsersInstanceIsNeitherAskedNorServed)
{
    QLocalServer impostor;
    QLocalServer::removeServer(path());
    ASSERT_TRUE(impostor.listen(path()));
    QObject::connect(&impostor, &QLocalServer::newConnection, [&] {
        QLocalSocket *socket = impostor.nextPendingConnection();
        socket->write("ok\n");
        socket->flush();
    });
    auto ask = [this] {
        auto asked = std::async(std::launch::async, [this] { return SingleInstance::askToRestore(name, 2000); });
        while (asked.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
            QTest::qWait(20);
        return asked.get();
    };
    ASSERT_TRUE(ask()) << "the same user is answered";

    SingleInstance::setPeerUidReader([](qintptr) { return std::optional<uid_t>(::getuid() + 1); });
    EXPECT_FALSE(ask());
    {
        SingleInstance instance(host::Role::Program, name);
        EXPECT_EQ(instance.claim(), SingleInstance::Claim::Held);
        EXPECT_TRUE(instance.guarded());
        QSignalSpy requests(&instance, &SingleInstance::restoreRequested);
        EXPECT_FALSE(ask());
        EXPECT_TRUE(requests.isEmpty());
    }
    SingleInstance::setPeerUidReader({});
}

// A client streaming without a line end once grew the program without bound. A line it does
// not understand gets a status line saying why, and the client is dropped.
TEST_F(Instances, AClientGetsOneBoundedLineAndIsToldWhatIsRefused)
{
    SingleInstance instance(host::Role::Program, name);
    ASSERT_EQ(instance.claim(), SingleInstance::Claim::Held);
    QSignalSpy requests(&instance, &SingleInstance::restoreRequested);
    const std::pair<QByteArray, QByteArray> cases[] = {
        {QByteArray(1 << 20, 'x'), ""}, // its status line is lost with what it keeps sending
        {"hello\nzelvar1 restore\n", "error 71 "},
        {"zelvar2 hello\n", "error 71 "},
        {"zelvar1 reboot\n", "error 22 "},
        {"zelvar1 write /dev/null\n", "error 22 "},
        {"zelvar1 write /dev/null 5X\n", "error 22 "},
        {"zelvar1 write /dev/null " + QByteArray(2 * host::MaxWriteBytes + 2, 'a') + "\n", "error 22 "},
        {"zelvar1 write /dev/null 5331\n", "error 19 le programme ne tient aucun port"},
    };
    for (const auto &[sent, refusal] : cases) {
        QLocalSocket client;
        client.connectToServer(path());
        ASSERT_TRUE(client.waitForConnected(2000));
        client.write(sent);
        QDeadlineTimer deadline(5000);
        while (!refusal.isEmpty() && !client.canReadLine() && !deadline.hasExpired())
            QTest::qWait(20);
        if (!refusal.isEmpty()) {
            EXPECT_TRUE(client.readLine().startsWith(refusal)) << sent.left(30).constData();
        }
        if (refusal.startsWith("error 19"))
            continue; // a write refused for its port keeps the connection
        while (client.state() != QLocalSocket::UnconnectedState && !deadline.hasExpired())
            QTest::qWait(20);
        EXPECT_EQ(client.state(), QLocalSocket::UnconnectedState) << sent.left(30).constData();
    }
    EXPECT_TRUE(requests.isEmpty());
}

// 32 connections that said hello once and then kept silent once held every slot for ever, so
// that every command failed "busy" and a second service started unguarded. Each connection
// that stays silent is dropped after its idle deadline, and the host answers again.
TEST_F(Instances, SilentConnectionsAreDroppedAfterTheirIdleDeadline)
{
    SingleInstance instance(host::Role::Service, name);
    ASSERT_EQ(instance.claim(), SingleInstance::Claim::Held);
    const auto replyTo = [](QLocalSocket &client, const QByteArray &line) {
        client.write(line);
        for (QDeadlineTimer deadline(3000); !client.canReadLine() && !deadline.hasExpired();)
            QTest::qWait(10);
        return client.readLine();
    };
    std::vector<std::unique_ptr<QLocalSocket>> silent;
    for (int i = 0; i < SingleInstance::MaxClients; ++i) {
        silent.push_back(std::make_unique<QLocalSocket>());
        silent.back()->connectToServer(path());
        ASSERT_TRUE(silent.back()->waitForConnected(2000));
        ASSERT_TRUE(replyTo(*silent.back(), host::helloRequest()).startsWith("zelvar1 service"));
    }
    QLocalSocket refused;
    refused.connectToServer(path());
    ASSERT_TRUE(refused.waitForConnected(2000));
    EXPECT_TRUE(replyTo(refused, QByteArray()).startsWith("error 16 ")) << "every slot is taken";

    QTest::qWait(SingleInstance::IdleDeadlineMs + 500);
    for (const auto &client : silent)
        EXPECT_EQ(client->state(), QLocalSocket::UnconnectedState);
    QLocalSocket next;
    next.connectToServer(path());
    ASSERT_TRUE(next.waitForConnected(2000));
    EXPECT_TRUE(replyTo(next, host::helloRequest()).startsWith("zelvar1 service"));
}

// The socket and lock live where only this user can reach them. Anyone can create the
// temporary folder's name first: the user's own cache folder then stands in, so the guard is
// kept; only when that too cannot be trusted does the program start without it.
TEST_F(Instances, PrivateFolderIsOnlyOneTheUserAloneCanReach)
{
    QTemporaryDir scratch;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray tmp = qgetenv("TMPDIR");
    const QByteArray cacheHome = qgetenv("XDG_CACHE_HOME");
    const QString own = scratch.filePath(QStringLiteral("zelvar-%1").arg(::getuid()));
    const QString xdg = scratch.filePath(QStringLiteral("xdg"));
    const QString cache = scratch.filePath(QStringLiteral("cache/zelvar"));
    ASSERT_TRUE(QDir().mkdir(xdg));
    qputenv("TMPDIR", QFile::encodeName(scratch.path()));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(scratch.filePath(QStringLiteral("cache"))));

    auto setUp = [&](mode_t xdgMode, const char *ownKind) {
        ::chmod(QFile::encodeName(xdg).constData(), xdgMode);
        QFile::remove(own);
        QDir(own).removeRecursively();
        if (QByteArray(ownKind) == "symlink")
            QFile::link(xdg, own);
        else if (QByteArray(ownKind) == "open")
            ::mkdir(QFile::encodeName(own).constData(), 0700), ::chmod(QFile::encodeName(own).constData(), 0777);
    };
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(xdg));
    setUp(0700, "none");
    EXPECT_EQ(SingleInstance::privateFolder(), xdg);
    setUp(0755, "none");
    EXPECT_EQ(SingleInstance::privateFolder(), own) << "created for the purpose";
    EXPECT_EQ(QFileInfo(own).permissions() & 0x0077, QFileDevice::Permissions()) << "mode 0700";
    EXPECT_FALSE(QFileInfo::exists(cache));
    setUp(0755, "symlink");
    EXPECT_EQ(SingleInstance::privateFolder(), cache);
    EXPECT_EQ(QFileInfo(cache).permissions() & 0x0077, QFileDevice::Permissions()) << "mode 0700";
    qunsetenv("XDG_RUNTIME_DIR");
    setUp(0755, "open");
    EXPECT_EQ(SingleInstance::privateFolder(), cache);
    {
        SingleInstance planted(host::Role::Program, name);
        EXPECT_EQ(planted.claim(), SingleInstance::Claim::Held);
        EXPECT_TRUE(planted.guarded()) << "the guard is kept";
        EXPECT_TRUE(QFileInfo::exists(QDir(cache).filePath(name)));
    }
    QFile::remove(QDir(cache).filePath(name));
    QFile::remove(QDir(cache).filePath(name + QStringLiteral(".lock")));
    {
        // An earlier version listened under the folder's own name: a live one keeps it, the
        // file a dead one left makes way.
        setUp(0755, "none");
        QLocalServer earlier;
        ASSERT_TRUE(earlier.listen(own));
        EXPECT_EQ(SingleInstance::privateFolder(), cache);
        earlier.close();
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, QFile::encodeName(own).constData(), sizeof address.sun_path - 1);
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        ::close(fd);
        EXPECT_EQ(SingleInstance::privateFolder(), own);
    }
    if (::getuid() == 0) { // only root can give a folder away
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(xdg));
        setUp(0700, "none");
        ASSERT_EQ(::chown(QFile::encodeName(xdg).constData(), 4242, 4242), 0);
        EXPECT_EQ(SingleInstance::privateFolder(), own);
        ASSERT_EQ(::chown(QFile::encodeName(own).constData(), 4242, 4242), 0);
        EXPECT_EQ(SingleInstance::privateFolder(), cache);
        qunsetenv("XDG_RUNTIME_DIR");
    }
    // A cache folder someone else can enter is no better.
    setUp(0755, "open");
    ASSERT_EQ(::chmod(QFile::encodeName(cache).constData(), 0755), 0);
    EXPECT_EQ(SingleInstance::privateFolder(), QString());
    SingleInstance untrusted(host::Role::Program, name);
    EXPECT_EQ(untrusted.claim(), SingleInstance::Claim::Held);
    EXPECT_FALSE(untrusted.guarded());

    runtime.isNull() ? qunsetenv("XDG_RUNTIME_DIR") : qputenv("XDG_RUNTIME_DIR", runtime);
    tmp.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", tmp);
    cacheHome.isNull() ? qunsetenv("XDG_CACHE_HOME") : qputenv("XDG_CACHE_HOME", cacheHome);
}

// A restore request brings the main window back from the task bar.
TEST_F(Instances, RestoreRequestBringsTheWindowBack)
{
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    QApplication::setQuitOnLastWindowClosed(false);
    setPauseHook([](int) {});
    {
        SingleInstance instance(host::Role::Program, name);
        ASSERT_EQ(instance.claim(), SingleInstance::Claim::Held);
        TForm_Base base;
        QObject::connect(&instance, &SingleInstance::restoreRequested, &base, &TForm_Base::restoreWindow);
        base.show();
        base.showMinimized();
        ASSERT_TRUE(base.isMinimized());

        // The request blocks its caller, as a second start does: ask from another thread.
        auto asked = std::async(std::launch::async, [this] { return SingleInstance::askToRestore(name, 5000); });
        QDeadlineTimer deadline(6000);
        while (asked.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready && !deadline.hasExpired())
            QTest::qWait(20);
        EXPECT_TRUE(asked.get());
        EXPECT_FALSE(base.isMinimized());
        EXPECT_TRUE(base.isVisible());
    }
    setPauseHook({});
    QApplication::setQuitOnLastWindowClosed(true);
    QDir::setCurrent(previous);
    Forms::instance().settings = PanelSettings{};
}

// While the service holds the port, a program the user starts is its guest: it does not end,
// and its panel writes through the service.
TEST_F(Instances, WhileTheServiceRunsTheProgramWorksThroughIt)
{
    PanelConfig config;
    config.settings.CurrentPortName = pty.slavePath();
    ButtonConfig on;
    on.mode = On;
    on.relay = 2;
    config.buttons = {on};
    config.buttonsEverHeld = true;
    ASSERT_TRUE(writePanelConfig(config).save(dir.filePath(PanelFiles::config())).ok);
    QProcess service;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ZELVAR_INSTANCE_NAME"), name);
    service.setProcessEnvironment(environment);
    service.setWorkingDirectory(dir.path());
    service.start(QStringLiteral(ZELVAR_CLI), {QStringLiteral("serve")});
    std::optional<host::Hello> hello;
    for (QDeadlineTimer deadline(10000); !(hello && hello->open) && !deadline.hasExpired(); QTest::qWait(50))
        hello = SingleInstance::hello(name, 500);
    ASSERT_TRUE(hello && hello->open);

    SingleInstance program(host::Role::Program, name);
    EXPECT_EQ(program.claim(), SingleInstance::Claim::Guest);
    EXPECT_FALSE(program.guarded());
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    qputenv("ZELVAR_INSTANCE_NAME", name.toUtf8());
    setPauseHook([](int) {});
    {
        TForm_ActBtn panel;
        ASSERT_TRUE(panel.ComPort1->Connected());
        panel.fireButton(1);
        EXPECT_EQ(pty.read(5), QByteArray("S2N$#"));
    }
    setPauseHook({});
    qunsetenv("ZELVAR_INSTANCE_NAME");
    QDir::setCurrent(previous);
    Forms::instance().settings = PanelSettings{};
    EXPECT_FALSE(program.holdIfFree());
    service.terminate();
    EXPECT_TRUE(service.waitForFinished(5000));
    // Once the service has ended, the program becomes the host.
    EXPECT_TRUE(program.holdIfFree());
    EXPECT_TRUE(program.guarded());
}

} // namespace

namespace {

// The processes among `pids` that have `device` open.
std::vector<qint64> holdersOf(const QString &device, const std::vector<qint64> &pids)
{
    std::vector<qint64> holders;
    for (qint64 pid : pids) {
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
        for (const QString &fd : fds.entryList(QDir::System | QDir::NoDotAndDotDot))
            if (QFile::symLinkTarget(fds.filePath(fd)) == device) {
                holders.push_back(pid);
                break;
            }
    }
    return holders;
}

// After each step of a row, in every order of starting and killing (-9) the program (P) and
// the service (S): the host that answers on the socket is the one process holding the
// device; `zelvar-cli relay` reaches the board once, and so does an alarm of the service,
// fired through the host when the service is a guest. Once, a service restarted beside a
// program that had become the host found the device free and took it: every write failed.
TEST_F(Instances, WhoeverHoldsTheSocketHoldsTheDeviceThroughKillsAndRestarts)
{
    PanelConfig config;
    config.settings.CurrentPortName = pty.slavePath();
    ButtonConfig on;
    on.mode = On;
    on.relay = 1;
    on.description = QStringLiteral("Lampe");
    config.buttons = {on};
    config.buttonsEverHeld = true;
    ASSERT_TRUE(writePanelConfig(config).save(dir.filePath(PanelFiles::config())).ok);
    const QString device = QFileInfo(pty.slavePath()).canonicalFilePath();

    const char *const orders[] = {"S P kS S", "P S kP P", "S P kP P", "S kS S P"};
    for (const char *order : orders) {
        SCOPED_TRACE(order);
        std::map<char, QProcess *> running;
        for (const QString &step : QString::fromLatin1(order).split(u' ')) {
            const char who = step.back().toLatin1();
            if (step.startsWith(u'k')) {
                ::kill(pid_t(running[who]->processId()), SIGKILL);
                running[who]->waitForFinished(5000);
                running.erase(who);
            } else if (who == 'P') {
                running[who] = start();
            } else {
                auto service = std::make_unique<QProcess>();
                QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
                environment.insert(QStringLiteral("ZELVAR_INSTANCE_NAME"), name);
                service->setProcessEnvironment(environment);
                service->setWorkingDirectory(dir.path());
                service->setProcessChannelMode(QProcess::MergedChannels);
                service->start(QStringLiteral(ZELVAR_CLI), {QStringLiteral("serve")});
                ASSERT_TRUE(service->waitForStarted(5000));
                running[who] = service.get();
                processes.push_back(std::move(service));
            }
            // Settled: the host answers, and it alone holds the device.
            std::vector<qint64> pids;
            for (const auto &[w, process] : running)
                pids.push_back(process->processId());
            bool settled = false;
            for (QDeadlineTimer deadline(10000); !settled && !deadline.hasExpired(); QTest::qWait(100)) {
                if (running.empty()) {
                    settled = holdersOf(device, pids).empty();
                    continue;
                }
                const std::optional<host::Hello> hello = SingleInstance::hello(name, 500);
                const std::vector<qint64> holders = holdersOf(device, pids);
                const char hostKey = hello && hello->role == host::Role::Service ? 'S' : 'P';
                settled = hello && hello->open && holders.size() == 1 && running.count(hostKey)
                          && holders[0] == running[hostKey]->processId();
            }
            ASSERT_TRUE(settled) << "after " << step.toStdString();
            QTest::qWait(1000); // a guest just started has found its host
        }

        const QByteArray ownName = qgetenv("ZELVAR_INSTANCE_NAME");
        qputenv("ZELVAR_INSTANCE_NAME", name.toUtf8());
        const zelvar::testing::CliResult relay = zelvar::testing::runCli(dir.path(), {"relay", "5", "on"});
        qputenv("ZELVAR_INSTANCE_NAME", ownName);
        EXPECT_EQ(relay.status, 0) << relay.err.constData();
        EXPECT_EQ(pty.read(5), QByteArray("S5N$#"));
        if (running.count('S')) {
            running['S']->readAll();
            const QDateTime t = QDateTime::currentDateTime().addSecs(2);
            const SavedScheduleRow row{t.date(), t.time().toString(QStringLiteral("hh:mm:ss")), 1, on.description, {}, true};
            ASSERT_TRUE(writeSchedule({row}).save(dir.filePath(ScheduleFiles::path())).ok);
            EXPECT_EQ(pty.read(5, 6000), QByteArray("S1N$#")) << (running['S']->waitForReadyRead(1000), running['S']->readAll().constData());
        }
        EXPECT_TRUE(pty.drain(500).isEmpty()) << "everything reached the board once";
        for (const auto &[who, process] : running) {
            process->kill();
            process->waitForFinished(5000);
        }
        QFile::remove(dir.filePath(ScheduleFiles::path()));
    }
}

} // namespace
