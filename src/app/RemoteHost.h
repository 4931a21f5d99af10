#pragma once

#include "forms/RemoteLink.h"
#include "remote/HttpRemote.h"
#include "remote/MqttBridge.h"
#include "remote/RemoteControl.h"
#include "remote/RemoteSequences.h"

#include <QPointer>

#include <vector>

namespace zelvar {

class TForm_ActBtn;
class TForm_Progmt;

// The program as host of the remote interfaces: the web server and the home-automation
// bridge act on the live panel's port and buttons through one RemoteControl. Activities asked
// for from afar play on a player of their own while the sequencer window is closed; the
// scheduler's rows and firings are those of the scheduler window once it exists. What
// remote.ini switches on starts with the host; a server that cannot start says why on the
// settings page, never in a box. A program that is the service's guest serves nothing: the
// service, which holds the port and learns every write, is the one to serve.
//
// The host holds the panel's port: it must go before the panel does.
class RemoteHost : public RemoteLink
{
    Q_OBJECT

public:
    explicit RemoteHost(TForm_ActBtn &panel, QObject *parent = nullptr);
    ~RemoteHost() override;

    RemoteControl &control() { return m_control; }

    // Reads remote.ini and starts what it switches on.
    void start();
    // The scheduler window's rows are the ones listed, and its firings are told.
    void followScheduler(TForm_Progmt &scheduler);

    RemoteSettings settings() const override { return m_settings; }
    void apply(const RemoteSettings &settings) override;
    void useToken(const QByteArray &token) override;
    RemoteStatus status() const override;
    void becomeHost() override;

private:
    void startHttp();
    void startMqtt();
    RemoteResult play(const QString &activity);
    RemoteResult stop();
    std::vector<RemoteScheduleRow> scheduleRows() const;
    static void log(const QString &line);

    QPointer<TForm_ActBtn> m_panel;
    RemoteControl m_control;
    RemoteSequences m_sequences;
    QPointer<TForm_Progmt> m_scheduler;
    // The service holds the port: it serves, not this host.
    bool m_guest;
    RemoteSettings m_settings;
    QString m_httpError;
    // Last: they act through the control and go first.
    HttpRemote m_http;
    MqttBridge m_mqtt;
};

} // namespace zelvar
