#pragma once

#include "remote/RemoteSettings.h"

#include <QByteArray>
#include <QObject>
#include <QString>

namespace zelvar {

// What the remote interfaces of the program are doing, for the settings page.
struct RemoteStatus
{
    bool guest = false;   // the service holds the port and serves: nothing runs here
    bool httpListening = false;
    QString httpAddress;  // the address listened on, as set
    quint16 httpPort = 0; // the port really bound
    QString httpError;    // why the server could not start; empty when it runs or is off
    QString mqtt;         // the bridge's state, in French
};

// The program's host of the remote interfaces, as the settings page drives it: the page
// writes remote.ini, then hands the settings over; the host restarts what changed. The main
// window creates the host with the panel and registers it in Forms::remote.
class RemoteLink : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // The settings in force.
    virtual RemoteSettings settings() const = 0;
    // Starts, stops or restarts the server and the bridge whose settings changed. A failure
    // is reported by status(), never by a box.
    virtual void apply(const RemoteSettings &settings) = 0;
    // A new token, taken by the running server at once.
    virtual void useToken(const QByteArray &token) = 0;
    virtual RemoteStatus status() const = 0;
    // The service this program was the guest of has ended and the program now holds the
    // port: it serves what its settings switch on.
    virtual void becomeHost() = 0;

signals:
    void statusChanged();
};

} // namespace zelvar
