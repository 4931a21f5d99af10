#include "devices/CommLayer.h"

#include "ComPortPty.h"

#include <QElapsedTimer>
#include <QThread>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>

#include <cerrno>
#include <thread>

using namespace zelvar;
using namespace zelvar::comm;
using zelvar::testing::PseudoTerminal;

namespace {

ControlBlock relayBlock()
{
    ControlBlock dcb;
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = 9600;
    dcb.Flags = ControlBlock::fBinary;
    dcb.ByteSize = 8;
    dcb.XonChar = 17;
    dcb.XoffChar = 19;
    return dcb;
}

class CommPosixTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.isValid());
        int error = -1;
        device = CommDevice::open(pty.slavePath(), error);
        ASSERT_TRUE(device) << error;
        ASSERT_EQ(device->setCommState(relayBlock()), 0);
    }

    PseudoTerminal pty;
    std::unique_ptr<CommDevice> device;
};

} // namespace

TEST(CommPosix, PortNamesMapToDevicePaths)
{
    EXPECT_EQ(devicePath(QStringLiteral("COM1")), "/dev/ttyS0");
    EXPECT_EQ(devicePath(QStringLiteral("COM4")), "/dev/ttyS3");
    EXPECT_EQ(devicePath(QStringLiteral("com12")), "/dev/ttyS11");
    EXPECT_EQ(devicePath(QStringLiteral("/dev/serial/by-id/usb-FTDI-if00-port0")),
              "/dev/serial/by-id/usb-FTDI-if00-port0");
    EXPECT_EQ(devicePath(QStringLiteral("/dev/pts/3")), "/dev/pts/3");
    EXPECT_EQ(devicePath(QStringLiteral("ttyUSB0")), "/dev/ttyUSB0");
    EXPECT_EQ(devicePath(QStringLiteral("COM0")), "/dev/COM0");
}

TEST(CommPosix, DeniedAccessNamesTheOwningGroup)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ttyFAKE"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    QString expected = QStringLiteral("dialout");
    if (const group *dialout = ::getgrnam("dialout"); !dialout || ::chown(QFile::encodeName(path), -1, dialout->gr_gid) != 0) {
        struct stat st{};
        ASSERT_EQ(::stat(QFile::encodeName(path), &st), 0);
        const group *owner = ::getgrgid(st.st_gid);
        expected = owner ? QString::fromLocal8Bit(owner->gr_name) : QString::number(st.st_gid);
    }
    ASSERT_EQ(::chmod(QFile::encodeName(path), 0660), 0);
    const QString hint = accessHint(path, EACCES);
    EXPECT_TRUE(hint.contains(QStringLiteral("groupe « %1 »").arg(expected))) << hint.toStdString();
    EXPECT_TRUE(hint.contains(path));
    EXPECT_TRUE(accessHint(path, ENOENT).isEmpty());
    EXPECT_TRUE(accessHint(path, EBUSY).isEmpty());
}

TEST(CommPosix, DeniedAccessNamesOnlyAGroupThatGrantsReadAndWriteAndIsNotRoot)
{
    const auto device = [](const char *group, uint32_t gid, uint32_t mode) {
        return DeviceAccess{QStringLiteral("/dev/ttyUSB0"), QStringLiteral("alice"), true, QStringLiteral("root"),
                            QString::fromLatin1(group), gid, mode, QStringLiteral("ttyUSB0")};
    };
    const struct
    {
        DeviceAccess access;
        const char *expected; // a group to join, or the owner and mode shown
    } cases[] = {
        {device("dialout", 20, 0660), "sudo usermod -aG dialout alice"},
        {device("root", 0, 0600), "root:root, droits 0600"},
        {device("root", 0, 0660), "root:root, droits 0660"}, // joining root is never the advice
        {device("root", 0, 0000), "root:root, droits 0000"},
        {device("dialout", 20, 0640), "root:dialout, droits 0640"}, // the group may only read
        {{QStringLiteral("/dev/ttyS9"), QStringLiteral("alice")}, "udev"}, // the device could not be examined
    };
    for (const auto &c : cases) {
        const QString hint = accessHint(c.access);
        EXPECT_TRUE(hint.contains(QString::fromUtf8(c.expected))) << hint.toStdString();
        EXPECT_TRUE(hint.contains(c.access.path));
        const bool namesGroup = hint.contains(QStringLiteral("usermod"));
        EXPECT_EQ(namesGroup, !hint.contains(QStringLiteral("udev"))) << hint.toStdString();
        EXPECT_FALSE(hint.contains(QStringLiteral("-aG root")));
    }
    EXPECT_TRUE(accessHint(device("root", 0, 0600)).contains(QStringLiteral("KERNEL==\"ttyUSB0\", OWNER=\"alice\"")));
}

TEST_F(CommPosixTest, TheDeviceIsHeldExclusively)
{
    int error = 0;
    EXPECT_EQ(CommDevice::open(pty.slavePath(), error), nullptr);
    EXPECT_EQ(error, EBUSY);
    device.reset();
    EXPECT_NE(CommDevice::open(pty.slavePath(), error), nullptr);
}

TEST_F(CommPosixTest, APseudoTerminalHasNoModemLinesAndThatIsNoFailure)
{
    uint32_t status = 0xFFFF;
    EXPECT_EQ(device->getCommModemStatus(status), 0);
    EXPECT_EQ(status, 0u);
}

TEST_F(CommPosixTest, InvalidControlBlocksAreRefused)
{
    ControlBlock dcb = relayBlock();
    dcb.ByteSize = 9;
    EXPECT_EQ(device->setCommState(dcb), EINVAL);
    dcb = relayBlock();
    dcb.BaudRate = 0;
    EXPECT_EQ(device->setCommState(dcb), EINVAL);
    dcb = relayBlock();
    dcb.Parity = 5;
    EXPECT_EQ(device->setCommState(dcb), EINVAL);
    EXPECT_EQ(device->setupComm(0, 1024), EINVAL);
}

TEST_F(CommPosixTest, InputIsCountedReadAndPurged)
{
    pty.write("hello");
    QThread::msleep(50);
    uint32_t errors = 1;
    ComStat stat;
    EXPECT_EQ(device->clearCommError(errors, &stat), 0);
    EXPECT_EQ(errors, 0u);
    EXPECT_EQ(stat.cbInQue, 5u);

    char buffer[16];
    uint32_t read = 0;
    EXPECT_EQ(device->readFile(buffer, 3, read), 0);
    EXPECT_EQ(QByteArray(buffer, int(read)), "hel");

    EXPECT_EQ(device->purgeComm(PURGE_RXCLEAR | PURGE_TXCLEAR), 0);
    EXPECT_EQ(device->clearCommError(errors, &stat), 0);
    EXPECT_EQ(stat.cbInQue, 0u);
    EXPECT_EQ(device->readFile(buffer, sizeof buffer, read), 0);
    EXPECT_EQ(read, 0u);
}

TEST_F(CommPosixTest, TheEventWaitEndsOnTheMaskedEventsOrTheStop)
{
    StopEvent stop;
    ASSERT_EQ(stop.error(), 0);
    device->setCommMask(EV_RXCHAR | EV_RXFLAG);
    ControlBlock dcb = relayBlock();
    dcb.EvtChar = '#';
    ASSERT_EQ(device->setCommState(dcb), 0);

    uint32_t fired = 0;
    pty.write("S1N$#");
    EXPECT_EQ(device->waitCommEvent(fired, stop), 0);
    EXPECT_EQ(fired, EV_RXCHAR | EV_RXFLAG);

    // A completed write fires nothing outside the mask; the stop ends the wait.
    uint32_t written = 0;
    EXPECT_EQ(device->writeFile("x", 1, written), 0);
    EXPECT_EQ(written, 1u);
    std::thread stopper([&] {
        QThread::msleep(100);
        stop.set();
    });
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(device->waitCommEvent(fired, stop), ECANCELED);
    EXPECT_GE(clock.elapsed(), 50);
    stopper.join();
    // Once set, the stop stays set.
    EXPECT_EQ(device->waitCommEvent(fired, stop), ECANCELED);
}

TEST_F(CommPosixTest, ACompletedWriteFiresTxEmpty)
{
    StopEvent stop;
    device->setCommMask(EV_TXEMPTY);
    uint32_t written = 0;
    EXPECT_EQ(device->writeFile("S1N$#", 5, written), 0);
    EXPECT_EQ(written, 5u);
    uint32_t fired = 0;
    EXPECT_EQ(device->waitCommEvent(fired, stop), 0);
    EXPECT_EQ(fired, EV_TXEMPTY);
    EXPECT_EQ(pty.read(5), "S1N$#");
}
