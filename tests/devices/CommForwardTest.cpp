#include "common/SingleInstance.h"
#include "devices/CommHolder.h"
#include "devices/ComPort.h"
#include "panel/PanelConfig.h"
#include "remote/RelayStates.h"

#include "cli/CliRun.h"
#include "devices/ComPortPty.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QUuid>
#include <gtest/gtest.h>

using namespace zelvar;
using zelvar::testing::PseudoTerminal;

namespace {

// The Zelvar processes of one user, under an instance name no other test uses.
class PortHolder : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        name = QStringLiteral("zelvar-test-") + QUuid::createUuid().toString(QUuid::Id128);
        qputenv("ZELVAR_INSTANCE_NAME", name.toUtf8());
    }
    void TearDown() override
    {
        qunsetenv("ZELVAR_INSTANCE_NAME");
        QFile::remove(SingleInstance::socketPath(name));
        QFile::remove(SingleInstance::socketPath(name) + QStringLiteral(".lock"));
        QDir folder(SingleInstance::privateFolder());
        for (const QString &lock : folder.entryList({name + QStringLiteral(".service-*")}, QDir::Files))
            QFile::remove(folder.filePath(lock));
    }

    // A panel whose button 1 switches relay 1 on, on that device.
    void writePanel(const QString &device)
    {
        PanelConfig config;
        config.settings.CurrentPortName = device;
        ButtonConfig on;
        on.mode = On;
        on.relay = 1;
        config.buttons = {on};
        config.buttonsEverHeld = true;
        ASSERT_TRUE(writePanelConfig(config).save(dir.filePath(PanelFiles::config())).ok);
    }

    // Runs the program to its end while this process serves the instance socket.
    static int runServing(QProcess &process, const QStringList &arguments)
    {
        process.start(QStringLiteral(ZELVAR_CLI), arguments);
        QDeadlineTimer deadline(20000);
        while (process.state() != QProcess::NotRunning && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            process.waitForFinished(5);
        }
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    QTemporaryDir dir;
    QString name;
};

// The service holds the virtual board's port: zelvar-cli's commands find it busy and write
// through the service, which answers who it is; a second service of its folder is refused;
// when the service ends, a port opened through it goes on with the device itself.
TEST_F(PortHolder, CommandsReachTheBoardWhileTheServiceHoldsThePort)
{
    QProcess board;
    board.start(QStringLiteral(ZELVAR_BOARD_EXE), QStringList());
    ASSERT_TRUE(board.waitForReadyRead(5000));
    const QString device = QString::fromUtf8(board.readLine()).trimmed();
    writePanel(device);
    QProcess service;
    service.setWorkingDirectory(dir.path());
    service.start(QStringLiteral(ZELVAR_CLI), {QStringLiteral("serve")});
    std::optional<host::Hello> hello;
    for (QDeadlineTimer deadline(10000); !(hello && hello->open) && !deadline.hasExpired(); QThread::msleep(50))
        hello = SingleInstance::hello(name, 500);
    ASSERT_TRUE(hello && hello->open);
    EXPECT_EQ(hello->role, host::Role::Service);
    EXPECT_TRUE(host::sameDevice(hello->port, device)) << hello->port.toStdString();

    const zelvar::testing::CliResult run = zelvar::testing::runCli(dir.path(), {"relay", "1", "on"});
    EXPECT_EQ(run.status, 0) << run.err.constData();
    QByteArray report;
    for (QDeadlineTimer deadline(5000); !report.contains("relais  1 allumé") && board.waitForReadyRead(int(deadline.remainingTime()));)
        report += board.readAll();
    EXPECT_TRUE(QString::fromUtf8(report).contains(QString::fromUtf8("relais  1 allumé"))) << report.constData();

    // A second service of the folder would fire each alarm twice.
    EXPECT_EQ(zelvar::testing::runCli(dir.path(), {"serve"}).status, 1);

    // A port opened through the service carries on by itself once the service has ended.
    TComPort port;
    port.setPort(device);
    port.OpenPort();
    EXPECT_EQ(port.SendText("S2N$#"), 5);
    service.terminate();
    EXPECT_TRUE(service.waitForFinished(5000));
    EXPECT_EQ(service.exitCode(), 0);
    EXPECT_EQ(port.SendText("S3N$#"), 5);
    for (QDeadlineTimer deadline(5000); !report.contains("relais  3 allumé") && board.waitForReadyRead(int(deadline.remainingTime()));)
        report += board.readAll();
    EXPECT_TRUE(report.contains("relais  2 allumé") && report.contains("relais  3 allumé")) << report.constData();
    board.kill();
    board.waitForFinished(5000);
}

// The host writes through its own port, so its relay states learn what another process sent;
// a write that names another device is refused and nothing reaches the board.
TEST_F(PortHolder, TheHostsRelayStatesLearnForwardedWrites)
{
    PseudoTerminal pty;
    TComPort port;
    port.setPort(pty.slavePath());
    port.OpenPort();
    RelayStates states;
    states.follow(port);
    SingleInstance instance(host::Role::Service, name);
    ASSERT_EQ(instance.claim(), SingleInstance::Claim::Held);
    instance.setHandler([&port](const host::Request &request) {
        return answerHostRequest(request, host::Role::Service, &port);
    });

    QProcess relay;
    EXPECT_EQ(runServing(relay, {"relay", "3", "on", "--port", pty.slavePath()}), 0) << relay.readAllStandardError().constData();
    EXPECT_EQ(pty.read(5), QByteArray("S3N$#"));
    EXPECT_EQ(states.state(3), RelayStates::State::On);

    PseudoTerminal other;
    const QByteArray refused =
        answerHostRequest(host::parseRequest(host::writeRequest(other.slavePath(), "S4N$#").chopped(1)), host::Role::Service, &port);
    EXPECT_TRUE(refused.startsWith("error 19 le service ne tient pas le port")) << refused.constData();
    EXPECT_TRUE(pty.drain(200).isEmpty());
}

} // namespace
