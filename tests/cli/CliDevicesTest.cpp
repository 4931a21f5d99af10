#include "devices/ComPortPty.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include "TestFiles.h"
#include "cli/CliRun.h"

using zelvar::testing::CliResult;
using zelvar::testing::runCli;
using zelvar::testing::writeFile;

using zelvar::testing::PseudoTerminal;

namespace {

class CliDevices : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(pty.isValid()); }
    QStringList onPty(QStringList arguments) { return arguments << "--port" << pty.slavePath(); }

    QTemporaryDir dir;
    PseudoTerminal pty;
};

} // namespace

TEST_F(CliDevices, RelayActionsOnTheWire)
{
    EXPECT_EQ(runCli(dir.path(), onPty({"relay", "3", "on"})).status, 0);
    EXPECT_EQ(pty.read(5), "S3N$#");
    EXPECT_EQ(runCli(dir.path(), onPty({"relay", "12", "toggle"})).status, 0);
    EXPECT_EQ(pty.read(6), "S12T$#");
    EXPECT_EQ(runCli(dir.path(), onPty({"relay", "16", "OFF"})).status, 0);
    EXPECT_EQ(pty.read(6), "S16F$#");
    EXPECT_EQ(runCli(dir.path(), onPty({"relay", "1", "pulse", "50"})).status, 0);
    EXPECT_EQ(pty.read(10), "S1N$#S1F$#");

    EXPECT_EQ(runCli(dir.path(), onPty({"relay", "17", "on"})).status, 64);
    EXPECT_EQ(runCli(dir.path(), onPty({"relay", "2", "blink"})).status, 64);
    EXPECT_EQ(runCli(dir.path(), onPty({"relay", "2", "on", "50"})).status, 64);
    EXPECT_EQ(pty.drain(), QByteArray()) << "a refused command sends nothing";
}

TEST_F(CliDevices, PressFiresAPanelButtonAsASequencerStep)
{
    writeFile(dir.filePath("Zelvar2.ini"), "[Reglages]\r\nNombre total de boutons=2\r\n"
                                           "[Bouton 1]\r\nMode btn1=1\r\nCode btn1=4\r\n"
                                           "[Bouton 2]\r\nMode btn2=0\r\n");
    EXPECT_EQ(runCli(dir.path(), onPty({"press", "1"})).status, 0);
    EXPECT_EQ(pty.read(10), "S4N$#S4F$#");
    EXPECT_EQ(runCli(dir.path(), onPty({"press", "2"})).status, 0);
    EXPECT_EQ(pty.drain(), QByteArray());
    EXPECT_EQ(runCli(dir.path(), onPty({"press", "3"})).status, 64);
    EXPECT_EQ(runCli(dir.path(), onPty({"press", "0"})).status, 64);
}

TEST_F(CliDevices, PressOfAnInfraredButtonWithoutTransmitterSaysWhyWithStatus2)
{
    writeFile(dir.filePath("Zelvar2.ini"), "[Reglages]\r\nNombre total de boutons=1\r\n[Bouton 1]\r\nMode btn1=5\r\n"
                                           "CodePronto btn1=0000 006D 0001 0001 0010 0020 0030 0040\r\n");
    qputenv("ZELVAR_UUIRT_LIBRARY", QFile::encodeName(dir.filePath("no-driver.so")));
    for (const QString &device : {dir.filePath("no-lirc"), dir.path()}) {
        qputenv("ZELVAR_LIRC_DEVICE", QFile::encodeName(device));
        const CliResult run = runCli(dir.path(), {"press", "1"});
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(run.err.contains(QFile::encodeName(device))) << run.err.toStdString();
    }
    qunsetenv("ZELVAR_UUIRT_LIBRARY");
    qunsetenv("ZELVAR_LIRC_DEVICE");
}

TEST_F(CliDevices, SendUsesThePanelPortUnlessOverridden)
{
    writeFile(dir.filePath("Zelvar2.ini"), "[Reglages du Com]\r\nn\xB0 du Port =" + pty.slavePath().toLocal8Bit() +
                                               "\r\nVitesse du Port =19200\r\n");
    EXPECT_EQ(runCli(dir.path(), {"send", "S5T$#"}).status, 0);
    EXPECT_EQ(pty.read(5), "S5T$#");
}

TEST_F(CliDevices, DeviceErrorsPrintThePortMessageWithStatus2)
{
    const CliResult missing = runCli(dir.path(), {"relay", "1", "on", "--port", dir.filePath("nothing")});
    EXPECT_EQ(missing.status, 2);
    EXPECT_TRUE(missing.err.startsWith("Impossible d’ouvrir le port série (code d’erreur système : 2)\npériphérique introuvable"))
        << missing.err.constData();
}

TEST_F(CliDevices, SetPortChangesOnlyThePortKeys)
{
    const QByteArray before = "; mine\r\n[Reglages du Com]\r\nn\xB0 du Port =COM1\r\nVitesse du Port =19200\r\n_=\r\n\r\n"
                              "[Reglages]\r\nNombre total de boutons=0\r\n";
    writeFile(dir.filePath("Zelvar2.ini"), before);
    EXPECT_EQ(runCli(dir.path(), {"setport", pty.slavePath()}).status, 0);
    QFile f(dir.filePath("Zelvar2.ini"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QByteArray expected = before;
    expected.replace("=COM1", "=" + pty.slavePath().toLocal8Bit());
    EXPECT_EQ(f.readAll(), expected);
    EXPECT_EQ(runCli(dir.path(), {"send", "S2N$#"}).status, 0) << "the stored port is the one used";
    EXPECT_EQ(pty.read(5), "S2N$#");
}

TEST(CliDevicesBoard, TheVirtualBoardSwitchesItsRelays)
{
    QTemporaryDir dir;
    QProcess board;
    board.start(QStringLiteral(ZELVAR_BOARD_EXE), QStringList());
    ASSERT_TRUE(board.waitForReadyRead(5000));
    const QString device = QString::fromUtf8(board.readLine()).trimmed();
    ASSERT_TRUE(device.startsWith("/dev/"));

    EXPECT_EQ(runCli(dir.path(), {"relay", "7", "on", "--port", device}).status, 0);
    QByteArray report;
    QDeadlineTimer deadline(5000);
    while (!report.contains('\n') && !deadline.hasExpired() && board.waitForReadyRead(int(deadline.remainingTime())))
        report += board.readAll();
    EXPECT_TRUE(QString::fromUtf8(report).contains(QString::fromUtf8("relais  7 allumé"))) << report.constData();
    board.kill();
    board.waitForFinished(5000);
}

TEST(CliDevicesHelp, EveryDeviceCommandHasHelpAndPortsLists)
{
    QTemporaryDir dir;
    for (const char *command : {"relay", "press", "send", "ports", "setport"}) {
        const CliResult run = runCli(dir.path(), {command, "--help"});
        EXPECT_EQ(run.status, 0) << command;
        EXPECT_TRUE(run.out.contains("--help")) << command;
    }
    EXPECT_EQ(runCli(dir.path(), {"ports"}).status, 0);
}
