#pragma once

#include <QList>
#include <QString>

namespace zelvar {

// A serial device present on the machine, as a port form offers it.
struct SerialDeviceInfo
{
    QString path;        // "/dev/ttyUSB0"
    QString stablePath;  // its /dev/serial/by-id name, when it has one
    QString description; // the adapter's maker and product, when known
    QString portName;    // what to give the port: "COMn" for ttyS, else the stable or plain path
};

// The serial devices present: ttyS ports that exist as hardware (not the system console),
// ttyUSB and ttyACM adapters. `root` stands for "/" (tests pass a fake tree holding dev/
// and sys/).
QList<SerialDeviceInfo> listSerialDevices(const QString &root = QStringLiteral("/"));

} // namespace zelvar
