#include "devices/SerialDevices.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace zelvar;

namespace {

void writeFile(const QString &path, const QByteArray &content = {})
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
}

void link(const QString &target, const QString &path)
{
    QDir().mkpath(QFileInfo(path).path());
    ASSERT_TRUE(QFile::link(target, path)) << path.toStdString();
}

// A machine with a console on ttyS0, a second UART, empty 8250 slots, a USB adapter
// known to sysfs, an ACM device known only by its stable name, and a stale sysfs entry.
void buildFakeMachine(const QString &root)
{
    const QString tty = root + QStringLiteral("/sys/class/tty/");
    writeFile(tty + QStringLiteral("console/active"), "tty0 ttyS0\n");
    writeFile(tty + QStringLiteral("tty0/dev"), "4:0\n");
    for (const char *name : {"ttyS0", "ttyS1", "ttyS10"})
        writeFile(tty + QString::fromLatin1(name) + QStringLiteral("/type"), "4\n");
    writeFile(tty + QStringLiteral("ttyS2/type"), "0\n");
    writeFile(tty + QStringLiteral("ttyS3/type"), "0\n");

    const QString usbDevice = root + QStringLiteral("/sys/devices/pci0000:00/usb1/1-1");
    writeFile(usbDevice + QStringLiteral("/product"), "FT232R USB UART\n");
    writeFile(usbDevice + QStringLiteral("/manufacturer"), "FTDI\n");
    writeFile(usbDevice + QStringLiteral("/1-1:1.0/ttyUSB0/port_number"), "0\n");
    QDir().mkpath(tty + QStringLiteral("ttyUSB0"));
    link(QStringLiteral("../../../devices/pci0000:00/usb1/1-1/1-1:1.0/ttyUSB0"),
         tty + QStringLiteral("ttyUSB0/device"));
    QDir().mkpath(tty + QStringLiteral("ttyACM0"));
    QDir().mkpath(tty + QStringLiteral("ttyUSB1")); // unplugged: no node in /dev

    for (const char *name : {"tty0", "ttyS0", "ttyS1", "ttyS2", "ttyS3", "ttyS10", "ttyUSB0", "ttyACM0"})
        writeFile(root + QStringLiteral("/dev/") + QString::fromLatin1(name));
    link(QStringLiteral("../../ttyUSB0"),
         root + QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"));
    link(QStringLiteral("../../ttyACM0"), root + QStringLiteral("/dev/serial/by-id/usb-Arduino_Uno_7563-if00"));
}

} // namespace

TEST(SerialDevices, ListsRealPortsAndAdaptersWithTheirStableNames)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    buildFakeMachine(root.path());

    const QList<SerialDeviceInfo> devices = listSerialDevices(root.path());
    ASSERT_EQ(devices.size(), 4);

    EXPECT_EQ(devices[0].path, "/dev/ttyS1");
    EXPECT_EQ(devices[0].portName, "COM2");
    EXPECT_EQ(devices[0].stablePath, QString());
    EXPECT_EQ(devices[1].path, "/dev/ttyS10");
    EXPECT_EQ(devices[1].portName, "COM11");

    EXPECT_EQ(devices[2].path, "/dev/ttyUSB0");
    EXPECT_EQ(devices[2].stablePath, "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    EXPECT_EQ(devices[2].portName, devices[2].stablePath);
    EXPECT_EQ(devices[2].description, "FTDI FT232R USB UART");

    EXPECT_EQ(devices[3].path, "/dev/ttyACM0");
    EXPECT_EQ(devices[3].stablePath, "/dev/serial/by-id/usb-Arduino_Uno_7563-if00");
    EXPECT_EQ(devices[3].description, "Arduino Uno 7563");
}

TEST(SerialDevices, AMachineWithoutSerialDevicesListsNone)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    EXPECT_TRUE(listSerialDevices(root.path()).isEmpty());
}
