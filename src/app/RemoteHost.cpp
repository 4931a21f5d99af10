#include "app/RemoteHost.h"

#include "forms/Forms.h"
#include "panel/Form_ActBtn.h"
#include "devices/ComPort.h"
#include "scheduler/Form_Progmt.h"
#include "scheduler/ScheduleFile.h"
#include "sequencer/FSequenceur.h"

#include <QDebug>

#include <utility>

namespace zelvar {

RemoteHost::RemoteHost(TForm_ActBtn &panel, QObject *parent)
    : RemoteLink(parent)
    , m_panel(&panel)
    , m_control(RemoteControl::Host::Program, *panel.ComPort1, Forms::instance().relayStates)
    , m_sequences([this] { return m_panel ? PanelTarget{m_panel->ComPort1, &m_panel->buttons()} : PanelTarget{}; },
                  &RemoteHost::log)
    , m_guest(Forms::instance().guest)
    , m_http(m_control)
    , m_mqtt(m_control)
{
    m_control.setPanel(panel.config());
    connect(&panel, &TForm_ActBtn::panelChanged, this, [this] {
        if (m_panel)
            m_control.setPanel(m_panel->config());
    });
    m_control.setSequencePlayer([this](const QString &activity) { return play(activity); },
                                [this] { return stop(); });
    m_control.setScheduleSource([this] { return scheduleRows(); });
    connect(&m_http, &HttpRemote::logLine, this, &RemoteHost::log);
    connect(&m_mqtt, &MqttBridge::logLine, this, &RemoteHost::log);
    connect(&m_control, &RemoteControl::sendFailed, this, [this](const QString &why) { log(QStringLiteral("erreur de télécommande : ") + why); });
    connect(&m_mqtt, &MqttBridge::statusChanged, this, &RemoteLink::statusChanged);
    if (TForm_Progmt *scheduler = Forms::instance().Form_Progmt)
        followScheduler(*scheduler);
}

RemoteHost::~RemoteHost() = default;

void RemoteHost::start()
{
    QString error;
    QStringList narrowed;
    m_settings = readRemoteSettings(&error, &narrowed);
    for (const QString &line : narrowed)
        log(line);
    if (!error.isEmpty())
        log(error);
    startHttp();
    startMqtt();
    // The pulses a host before this one left under way end on time.
    if (!m_guest)
        m_control.resumePulses();
    emit statusChanged();
}

void RemoteHost::apply(const RemoteSettings &settings)
{
    const RemoteSettings before = m_settings;
    m_settings = settings;
    // A server that could not start tries again, so that freeing its port and applying is
    // enough.
    if (settings.http != before.http || (settings.http.enabled && !m_http.listening()))
        startHttp();
    if (settings.mqtt != before.mqtt)
        startMqtt();
    emit statusChanged();
}

void RemoteHost::startHttp()
{
    m_http.stop();
    m_httpError.clear();
    m_mqtt.setConfigurationUrl({});
    if (!m_settings.http.enabled || m_guest)
        return;
    QString error;
    QStringList narrowed;
    const QByteArray token = remoteToken(&error, &narrowed);
    for (const QString &line : narrowed)
        log(line);
    if (token.isEmpty())
        m_httpError = QStringLiteral("pas de jeton : ") + error;
    else if (!m_http.start(m_settings.http, token, &error))
        m_httpError = error;
    m_mqtt.setConfigurationUrl(m_http.listening() ? remoteUrl(m_settings.http, m_http.serverPort()) : QString());
    if (!m_httpError.isEmpty())
        log(QStringLiteral("serveur web : ") + m_httpError);
}

// Started again without stopping first: a bridge renamed clears its old device on the
// broker before it leaves it.
void RemoteHost::startMqtt()
{
    if (m_settings.mqtt.enabled && !m_guest)
        m_mqtt.start(m_settings.mqtt);
    else
        m_mqtt.stop();
}

void RemoteHost::becomeHost()
{
    if (!std::exchange(m_guest, false))
        return;
    startHttp();
    startMqtt();
    m_control.resumePulses();
    emit statusChanged();
}

void RemoteHost::useToken(const QByteArray &token)
{
    m_http.setToken(token);
}

RemoteStatus RemoteHost::status() const
{
    RemoteStatus status;
    status.guest = m_guest;
    status.httpListening = m_http.listening();
    status.httpAddress = m_settings.http.address;
    status.httpPort = m_http.serverPort();
    status.httpError = m_httpError;
    if (m_settings.mqtt.enabled && !status.guest)
        status.mqtt = m_mqtt.statusText();
    return status;
}

void RemoteHost::followScheduler(TForm_Progmt &scheduler)
{
    m_scheduler = &scheduler;
    connect(&scheduler.engine(), &ScheduleEngine::fired, this,
            [this](int row, int button) { m_control.notifyFired(row, button); });
}

std::vector<RemoteScheduleRow> RemoteHost::scheduleRows() const
{
    if (!m_scheduler)
        return {};
    const ScheduleEngine &engine = m_scheduler->engine();
    return remoteScheduleRows(engine, savedRows(engine, m_panel ? &m_panel->buttons() : nullptr));
}

// An activity is one the sequencer's chooser lists, by its name there: nothing else of the
// disk is reachable from afar.
RemoteResult RemoteHost::play(const QString &activity)
{
    if (Forms::instance().FSequenceur)
        return RemoteResult::failed(QStringLiteral("le séquenceur est ouvert dans le programme : "
                                                   "une activité ne peut être lancée à distance qu'une fois fermé"));
    return m_sequences.play(activity);
}

RemoteResult RemoteHost::stop()
{
    m_sequences.stop();
    if (TFSequenceur *sequencer = Forms::instance().FSequenceur)
        sequencer->Btn_StopClick();
    return {};
}

void RemoteHost::log(const QString &line)
{
    qInfo().noquote() << QStringLiteral("zelvar : %1").arg(line);
}

} // namespace zelvar
