#include "remote/MqttBridge.h"

#include "devices/ComPort.h"
#include "devices/ComPortPty.h"
#include "panel/PanelConfig.h"
#include "remote/MosquittoBroker.h"
#include "remote/RelayStates.h"
#include "remote/RemoteControl.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTcpServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>

using namespace zelvar;
using namespace zelvar::testing;

namespace {

// "On" buttons on relays 5, 6, 7… with these captions, and ids "id1", "id2"…, or the modes given.
PanelConfig panelOf(const QStringList &captions, const std::vector<int> &modes = {})
{
    PanelConfig panel;
    for (const QString &caption : captions) {
        const size_t k = panel.buttons.size();
        ButtonConfig button;
        button.mode = k < modes.size() ? modes[k] : On;
        button.relay = int(k) + 5;
        button.caption = caption;
        button.description = caption;
        button.id = QStringLiteral("id%1").arg(k + 1);
        panel.buttons.push_back(button);
    }
    panel.buttonsEverHeld = true;
    return panel;
}

class MqttBridgeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(broker.problem().isEmpty()) << broker.problem().toStdString();
        ASSERT_TRUE(pty.isValid());
        port.setPort(pty.slavePath());
        port.OpenPort();
        states.follow(port);
        control.setPanel(panelOf({QStringLiteral("Lampe"), QString(), QStringLiteral("Pompe")}));
        QObject::connect(&bridge, &MqttBridge::logLine, [this](const QString &line) { log << line; });
    }

    MqttSettings settings(quint16 brokerPort = 0) const
    {
        MqttSettings s;
        s.enabled = true;
        s.host = QStringLiteral("127.0.0.1");
        s.port = brokerPort ? brokerPort : broker.port();
        s.node = QStringLiteral("atelier");
        return s;
    }

    // A home-automation client that saw the bridge come online (its last word after
    // connecting), then subscribed to `filter`.
    std::unique_ptr<MqttTestClient> watcher(const char *filter)
    {
        auto client = std::make_unique<MqttTestClient>(broker.port());
        client->subscribe("zelvar/atelier/availability", 0);
        EXPECT_TRUE(client->waitFor([&] { return client->last("zelvar/atelier/availability") == "online"; }));
        client->subscribe(filter);
        return client;
    }

    void startBridge()
    {
        bridge.start(settings());
        ASSERT_TRUE(processEventsUntil([&] { return bridge.status() == MqttBridge::Status::Connected; }, 5000))
            << bridge.statusText().toStdString();
    }

    MosquittoBroker broker;
    PseudoTerminal pty;
    TComPort port;
    RelayStates states;
    RemoteControl control{RemoteControl::Host::Program, port, states};
    MqttBridge bridge{control};
    QStringList log;
};

const QJsonObject jsonOf(const std::optional<QByteArray> &payload)
{
    return QJsonDocument::fromJson(payload.value_or("")).object();
}

// One device message holds every entity: each with its own unique_id, available only while
// both the bridge and the port are; buttons that send nothing are left out.
TEST_F(MqttBridgeTest, AnnouncesTheNodeAsOneDevice)
{
    control.setPanel(panelOf({"Lampe", "", "Pompe", "Scène", "Rien", "Télé"}, {On, On, On, Macros, Null, UsbUirt}));
    startBridge();
    auto ha = watcher("homeassistant/#");
    ASSERT_TRUE(ha->waitFor([&] { return ha->last("homeassistant/device/atelier/config").has_value(); }));
    std::map<QByteArray, MqttTestClient::Message> retained;
    for (const auto &[topic, message] : ha->lastByTopic())
        if (message.retained && topic.startsWith("homeassistant/"))
            retained[topic] = message;
    ASSERT_EQ(retained.size(), 1u);
    const QJsonObject device = jsonOf(retained["homeassistant/device/atelier/config"].payload);
    EXPECT_EQ(device["device"]["identifiers"].toArray(), QJsonArray{"zelvar_atelier"});
    EXPECT_EQ(device["device"]["name"].toString(), "Zelvar atelier");
    EXPECT_EQ(device["origin"]["name"].toString(), "Zelvar");
    EXPECT_EQ(device["origin"]["sw_version"].toString(), ZELVAR_VERSION);

    QJsonObject components = device["components"].toObject();
    QSet<QString> uniqueIds;
    for (QJsonValueRef component : components) {
        QJsonObject entity = component.toObject();
        uniqueIds << entity["unique_id"].toString();
        EXPECT_EQ(entity.take("availability_mode"), "all");
        EXPECT_EQ(entity.take("availability"), jsonOf(R"({"a":[{"topic":"zelvar/atelier/availability"},{"topic":"zelvar/atelier/port"}]})")["a"]);
        component = entity;
    }
    EXPECT_EQ(uniqueIds.size(), components.size());
    QStringList keys = components.keys();
    keys.sort();
    EXPECT_EQ(keys.join(' '), "activity activity_stop alarm id1 id3 relay1 relay10 relay11 relay12 relay13 relay14 relay15 relay16 "
                              "relay2 relay3 relay4 relay5 relay6 relay7 relay8 relay9")
        << "no button for a missing caption, Macros, Null, or infrared without a transmitter";
    const auto expect = [&](const char *key, const char *json) {
        QJsonObject entity = components[key].toObject();
        entity.remove("payload_available");
        entity.remove("payload_not_available");
        EXPECT_EQ(entity, jsonOf(json)) << key;
    };
    expect("relay3", R"({"p":"switch","name":"Relais 3","unique_id":"zelvar_atelier_relay3","command_topic":"zelvar/atelier/relay/3/set",
                        "state_topic":"zelvar/atelier/relay/3/state","payload_on":"ON","payload_off":"OFF"})");
    expect("id3", R"({"p":"button","name":"Pompe","unique_id":"zelvar_atelier_id3","command_topic":"zelvar/atelier/button/id3/press",
                     "payload_press":"PRESS"})");
    expect("activity", R"({"p":"select","name":"Activité","unique_id":"zelvar_atelier_activity","command_topic":"zelvar/atelier/activity/set",
                          "options":["Default"]})");
    expect("alarm", R"({"p":"event","name":"Alarme","unique_id":"zelvar_atelier_alarm","state_topic":"zelvar/atelier/alarm/event",
                       "event_types":["fired"]})");
    EXPECT_EQ(bridge.statusText(), QStringLiteral("Connecté à 127.0.0.1:%1, nœud « atelier »").arg(broker.port()));

    // The web remote's address, once it serves; a fired alarm is an event.
    bridge.setConfigurationUrl("http://atelier:8765/");
    ha->subscribe("zelvar/atelier/alarm/event", 0);
    control.notifyFired(2, 3);
    EXPECT_TRUE(ha->waitFor([&] {
        return jsonOf(ha->last("homeassistant/device/atelier/config"))["device"]["configuration_url"] == "http://atelier:8765/"
            && ha->last("zelvar/atelier/alarm/event") == R"({"button":3,"event_type":"fired","row":2})";
    }));
}

// What reaches the wire for each message, and what a client arriving later learns: the
// states retained, nothing for a relay never commanded. A command left retained on the broker
// is played when it comes, never again when the bridge connects anew.
TEST_F(MqttBridgeTest, CommandsReachTheWireAndTheStatesStayRetained)
{
    startBridge();
    MqttTestClient home(broker.port());
    const auto wireAfter = [&](const QByteArray &topic, const QByteArray &payload, bool retain) {
        home.publish(topic, payload, retain);
        QByteArray wire;
        home.waitFor([&] { return (wire += pty.drain(0)).size() >= 5; }, 500);
        return wire;
    };
    struct Row { QByteArray topic, payload; bool retain; QByteArray wire; QString refusal; };
    const Row rows[] = {
        {"zelvar/atelier/relay/3/set", "ON", false, "S3N$#", {}},
        {"zelvar/atelier/relay/3/set", "TOGGLE", false, "S3T$#", {}},
        {"zelvar/atelier/button/1/press", "PRESS", false, "S5N$#", {}},
        {"zelvar/atelier/relay/4/set", "on", true, "S4N$#", {}},
        {"zelvar/atelier/relay/3/set", "BLINK", false, "", QStringLiteral("« BLINK » ignoré, ON, OFF ou TOGGLE attendu")},
        {"zelvar/atelier/relay/17/set", "ON", false, "", QStringLiteral("relais inconnu : 17")},
        {"zelvar/atelier/button/9/press", "PRESS", false, "", QStringLiteral("bouton inconnu : 9")},
        {"zelvar/atelier/button/1/press", "ON", false, "", QStringLiteral("« ON » ignoré, PRESS attendu")},
        {"zelvar/atelier/relay/6/pulse", "0.05", false, "", QStringLiteral("« 0.05 » ignoré, une durée de 0.1 à 86400 secondes attendue")},
        {"zelvar/atelier/relay/6/pulse", "bientôt", false, "", QStringLiteral("« bientôt » ignoré, une durée de 0.1 à 86400 secondes attendue")},
    };
    for (const Row &row : rows) {
        log.clear();
        EXPECT_EQ(wireAfter(row.topic, row.payload, row.retain), row.wire) << row.topic.constData() << " " << row.payload.constData();
        const QStringList expected = row.refusal.isEmpty() ? QStringList()
            : QStringList{QStringLiteral("%1 : %2").arg(QString::fromUtf8(row.topic), row.refusal)};
        EXPECT_EQ(log, expected);
    }

    // A timed pulse: on at once, off when its time is up.
    EXPECT_EQ(wireAfter("zelvar/atelier/relay/6/pulse", "0.2", false), "S6N$#");
    QByteArray off;
    home.waitFor([&] { return (off += pty.drain(0)).size() >= 5; }, 1000);
    EXPECT_EQ(off, "S6F$#");

    bridge.stop();
    startBridge();
    home.waitFor([] { return false; }, 300);
    EXPECT_TRUE(pty.drain(0).isEmpty());
    EXPECT_TRUE(log.last().endsWith(QStringLiteral("relay/4/set : commande retenue par le broker, ignorée")))
        << log.join(u'\n').toStdString();

    auto later = watcher("zelvar/atelier/relay/+/state");
    std::map<QByteArray, QByteArray> seen;
    for (const auto &[topic, message] : later->lastByTopic())
        if (topic.endsWith("/state") && message.retained)
            seen[topic] = message.payload;
    const std::map<QByteArray, QByteArray> expected{
        {"zelvar/atelier/relay/3/state", "OFF"}, {"zelvar/atelier/relay/4/state", "ON"}, {"zelvar/atelier/relay/5/state", "ON"},
        {"zelvar/atelier/relay/6/state", "OFF"}};
    EXPECT_EQ(seen, expected);
    // A relay no longer known (the port set to another board) is Home Assistant's "unknown".
    port.ClosePort();
    port.setPort(pty.slavePath() + "-autre");
    EXPECT_TRUE(later->waitFor([&] { return later->last("zelvar/atelier/relay/3/state") == "None"; }));

    // Whoever keeps sending nonsense cannot fill the journal: thirty lines a minute, seven above.
    log.clear();
    for (int i = 0; i < 40; ++i)
        home.publish("zelvar/atelier/relay/1/set", "BLINK");
    home.waitFor([&] { return false; }, 300);
    EXPECT_EQ(log.size(), 23);
}

// Home Assistant's select plays the activity chosen; its stop button stops it.
TEST_F(MqttBridgeTest, ActivitiesArePlayedAndStoppedFromTheSelect)
{
    QStringList asked;
    control.setSequencePlayer([&](const QString &activity) { asked << activity; return RemoteResult{}; },
                              [&] { asked << "stop"; return RemoteResult{}; });
    startBridge();
    log.clear();
    MqttTestClient home(broker.port());
    home.publish("zelvar/atelier/activity/set", "Jardin.ini");
    home.publish("zelvar/atelier/activity/stop", "PRESS");
    home.publish("zelvar/atelier/activity/stop", "STOP");
    EXPECT_TRUE(home.waitFor([&] { return asked.size() == 2 && !log.isEmpty(); }));
    EXPECT_EQ(asked, (QStringList{"Jardin.ini", "stop"}));
    EXPECT_EQ(log, QStringList{"zelvar/atelier/activity/stop : « STOP » ignoré, PRESS attendu"});
}

// Home Assistant keeps an entity per unique_id: deleting the first button must not hand its
// id to the next one, whose topic still presses it; the entity gone is removed. What an
// earlier run left (entities gone since, messages of one entity each) is cleared.
TEST_F(MqttBridgeTest, IdsSurviveDeletingTheFirstButton)
{
    MqttTestClient ha(broker.port());
    ha.publish("homeassistant/button/atelier/button9/config", R"({"name":"ancien"})", true);
    ha.publish("homeassistant/device/atelier/config", R"({"components":{"old9":{"p":"button","name":"ancien"}}})", true);
    ha.subscribe("homeassistant/#");
    const auto removed = [&](const QString &key) {
        return std::any_of(ha.messages.begin(), ha.messages.end(), [&](const MqttTestClient::Message &m) {
            return m.topic == "homeassistant/device/atelier/config" && jsonOf(m.payload)["components"][key] == QJsonObject{{"p", "button"}};
        });
    };
    startBridge();
    PanelConfig panel = panelOf({"Salon on", "Salon off"});
    control.setPanel(panel);
    panel.buttons.erase(panel.buttons.begin());
    control.setPanel(panel);
    EXPECT_TRUE(ha.waitFor([&] { return removed("id1") && removed("old9"); })) << "removed from Home Assistant";
    const QJsonObject components = jsonOf(ha.last("homeassistant/device/atelier/config"))["components"].toObject();
    EXPECT_EQ(components["id2"]["name"].toString(), "Salon off");
    EXPECT_EQ(components["id2"]["unique_id"].toString(), "zelvar_atelier_id2");
    EXPECT_TRUE(ha.waitFor([&] { return ha.last("homeassistant/button/atelier/button9/config") == ""; }));

    ha.publish("zelvar/atelier/button/id2/press", "PRESS");
    QByteArray wire;
    EXPECT_TRUE(ha.waitFor([&] { return (wire += pty.drain(0)) == "S6N$#"; }, 2000)) << wire.constData();
}

// A node name is one board. A second client asking for a node that is online is refused and
// leaves the broker (a service so started ends in failure); the first keeps its "online". An
// "online" left retained by a bridge that died is no obstacle.
TEST_F(MqttBridgeTest, ANodeOnlineElsewhereIsRefused)
{
    {
        MqttTestClient crashed(broker.port());
        crashed.publish("zelvar/atelier/availability", "online", true);
        crashed.waitFor([] { return false; }, 100);
    }
    startBridge();
    auto home = watcher("zelvar/atelier/#");

    MqttBridge second(control);
    bool taken = false;
    QObject::connect(&second, &MqttBridge::nodeTaken, [&taken] { taken = true; });
    second.start(settings());
    ASSERT_TRUE(home->waitFor([&] { return taken; }, 3000)) << second.statusText().toStdString();
    const QString why = QStringLiteral("le nœud « atelier » est déjà en ligne depuis un autre client ; changez de nom de nœud");
    EXPECT_EQ(second.status(), MqttBridge::Status::Off);
    EXPECT_EQ(second.statusText(), "Arrêté : " + why);

    QTemporaryDir dir;
    QProcess serve;
    serve.setWorkingDirectory(dir.path());
    serve.start(ZELVAR_CLI, {"serve", "--mqtt", QStringLiteral("127.0.0.1:%1").arg(broker.port()), "--node", "atelier"});
    // The first bridge answers while the loop runs.
    ASSERT_TRUE(home->waitFor([&] { return serve.state() == QProcess::NotRunning; }, 8000));
    EXPECT_NE(serve.exitCode(), 0);
    EXPECT_TRUE(QString::fromUtf8(serve.readAllStandardOutput()).contains("mqtt " + why));

    home->waitFor([] { return false; }, 300);
    EXPECT_EQ(bridge.status(), MqttBridge::Status::Connected);
    EXPECT_EQ(home->last("zelvar/atelier/availability"), "online");
    for (const MqttTestClient::Message &m : home->messages)
        EXPECT_NE(m.payload, "offline") << m.topic.constData();
}

// Two bridges of one node started together (two services at boot): one keeps the node.
TEST_F(MqttBridgeTest, OfTwoBridgesStartedTogetherOneKeepsTheNode)
{
    MqttBridge second(control);
    int taken = 0;
    for (MqttBridge *b : {&bridge, &second})
        QObject::connect(b, &MqttBridge::nodeTaken, [&taken] { ++taken; });
    bridge.start(settings());
    second.start(settings());
    processEventsUntil([] { return false; }, 3 * MqttBridge::ClaimWaitMs);
    EXPECT_EQ(taken, 1);
    EXPECT_EQ(int(bridge.status() == MqttBridge::Status::Connected) + int(second.status() == MqttBridge::Status::Connected), 1)
        << bridge.statusText().toStdString() << " / " << second.statusText().toStdString();
}

// A broker that refuses what the bridge publishes (an access list) is said on the settings
// page and in the journal, not taken for a working connection.
TEST(MqttRefusals, APublicationTheBrokerRefusesIsSaid)
{
    MosquittoBroker broker(0, "topic read #\n");
    ASSERT_TRUE(broker.problem().isEmpty()) << broker.problem().toStdString();
    PseudoTerminal pty;
    TComPort port;
    port.setPort(pty.slavePath());
    port.OpenPort();
    RelayStates states;
    RemoteControl control{RemoteControl::Host::Program, port, states};
    MqttBridge bridge{control};
    QStringList log;
    QObject::connect(&bridge, &MqttBridge::logLine, [&](const QString &line) { log << line; });
    MqttSettings s;
    s.host = "127.0.0.1";
    s.port = broker.port();
    s.node = "atelier";
    bridge.start(s);
    const QString refused = QStringLiteral("Connecté à 127.0.0.1:%1, nœud « atelier » ; le broker refuse des "
                                                  "publications (zelvar/atelier/availability : non autorisé)")
                                .arg(broker.port());
    EXPECT_TRUE(processEventsUntil([&] { return bridge.statusText() == refused; }, 5000)) << bridge.statusText().toStdString();
    EXPECT_TRUE(log.contains("publication refusée par le broker, homeassistant/device/atelier/config : non autorisé"))
        << log.join('\n').toStdString();
}

// A broker that comes up late is reached by the retries; "offline" is the last word of a
// bridge that stops.
TEST_F(MqttBridgeTest, RetriesUntilTheBrokerComesAndSaysOfflineWhenStopped)
{
    const quint16 later = MosquittoBroker::freePort();
    bridge.start(settings(later));
    ASSERT_TRUE(processEventsUntil([&] { return bridge.status() == MqttBridge::Status::Retrying; }, 3000));
    EXPECT_TRUE(bridge.statusText().endsWith(QStringLiteral("nouvel essai dans 1 s"))) << bridge.statusText().toStdString();
    MosquittoBroker late(later);
    ASSERT_TRUE(late.problem().isEmpty());
    ASSERT_TRUE(processEventsUntil([&] { return bridge.status() == MqttBridge::Status::Connected; }, 8000))
        << bridge.statusText().toStdString();

    MqttTestClient home(later);
    home.subscribe("zelvar/atelier/availability");
    EXPECT_TRUE(home.waitFor([&] { return home.last("zelvar/atelier/availability") == "online"; }));
    bridge.stop();
    EXPECT_EQ(bridge.status(), MqttBridge::Status::Off);
    EXPECT_TRUE(home.waitFor([&] { return home.last("zelvar/atelier/availability") == "offline"; }));
}

// A broker that takes the connection and never answers holds up neither the start, nor the
// commands of the host, nor the stop.
TEST_F(MqttBridgeTest, ASilentBrokerHoldsUpNothing)
{
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    QElapsedTimer took;
    took.start();
    bridge.start(settings(silent.serverPort()));
    processEventsUntil([] { return false; }, 300);
    EXPECT_EQ(bridge.status(), MqttBridge::Status::Connecting) << bridge.statusText().toStdString();
    ASSERT_TRUE(control.setRelays({{2, RelayAction::On}}).ok());
    EXPECT_EQ(pty.read(5), QByteArray("S2N$#"));
    bridge.stop();
    EXPECT_LT(took.elapsed(), 1500) << "300 ms of waiting in the test, the rest in the bridge";
}

// The service with --mqtt, end to end: a set reaches the virtual board; the board unplugged
// and plugged back behind the same link is "offline", then "online" on its new device; a
// service that dies leaves its last will, "offline".
TEST(MqttServe, DrivesTheVirtualBoardAndLeavesItsLastWill)
{
    MosquittoBroker broker;
    ASSERT_TRUE(broker.problem().isEmpty()) << broker.problem().toStdString();
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("usb-Relais-if00"));
    QProcess unplugged, board;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    for (QProcess *p : {&unplugged, &board})
        p->setProcessEnvironment(env);
    unplugged.start(QStringLiteral(ZELVAR_BOARD_EXE), {QStringLiteral("--link"), link});
    ASSERT_TRUE(unplugged.waitForReadyRead(5000));

    PanelConfig panel = panelOf({QStringLiteral("Lampe")});
    panel.settings.CurrentPortName = link;
    ASSERT_TRUE(writePanelConfig(panel).save(dir.filePath(PanelFiles::config())).ok);
    QProcess serve;
    serve.setProcessEnvironment(env);
    serve.setWorkingDirectory(dir.path());
    serve.start(QStringLiteral(ZELVAR_CLI),
                {QStringLiteral("serve"), QStringLiteral("--mqtt"), QStringLiteral("127.0.0.1:%1").arg(broker.port()),
                 QStringLiteral("--node"), QStringLiteral("garage")});

    MqttTestClient home(broker.port());
    home.subscribe("zelvar/garage/availability", 0);
    home.subscribe("zelvar/garage/port", 0);
    ASSERT_TRUE(home.waitFor([&] { return home.last("zelvar/garage/availability") == "online"; }, 8000))
        << serve.readAllStandardError().toStdString();
    unplugged.terminate();
    unplugged.waitForFinished(3000);
    EXPECT_TRUE(home.waitFor([&] { return home.last("zelvar/garage/availability") == "offline"; }, 3000));
    EXPECT_EQ(home.last("zelvar/garage/port"), "offline");
    board.start(QStringLiteral(ZELVAR_BOARD_EXE), {QStringLiteral("--link"), link});
    ASSERT_TRUE(board.waitForReadyRead(5000));
    board.readLine();
    EXPECT_TRUE(home.waitFor([&] { return home.last("zelvar/garage/availability") == "online"; }, 8000));
    EXPECT_EQ(home.last("zelvar/garage/port"), "online");
    home.publish("zelvar/garage/relay/2/set", "ON");
    EXPECT_TRUE(board.waitForReadyRead(5000));
    EXPECT_TRUE(QString::fromUtf8(board.readLine()).contains(QStringLiteral("S2N$#    relais  2 allumé")));

    ::kill(pid_t(serve.processId()), SIGKILL);
    EXPECT_TRUE(home.waitFor([&] { return home.last("zelvar/garage/availability") == "offline"; }));
    serve.waitForFinished(3000);
    EXPECT_TRUE(QString::fromUtf8(serve.readAllStandardOutput())
                    .contains(QStringLiteral(" mqtt connecté à 127.0.0.1:%1, nœud « garage »").arg(broker.port())));
    board.terminate();
    board.waitForFinished(3000);
}

} // namespace
