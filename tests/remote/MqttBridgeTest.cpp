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

// "On" buttons on relays 5, 6, 7… with these captions.
PanelConfig panelOf(const QStringList &captions)
{
    PanelConfig panel;
    for (const QString &caption : captions) {
        ButtonConfig button;
        button.mode = On;
        button.relay = int(panel.buttons.size()) + 5;
        button.caption = caption;
        button.description = caption;
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

// Home Assistant's trap with multi-relay boards: every entity needs its own unique_id, and
// all of them must name one device.
TEST_F(MqttBridgeTest, AnnouncesSixteenSwitchesAndTheCaptionedButtonsAsOneDevice)
{
    startBridge();
    auto ha = watcher("homeassistant/#");
    QSet<QString> uniqueIds;
    QSet<QByteArray> topics;
    for (const auto &[topic, message] : ha->lastByTopic()) {
        if (!topic.startsWith("homeassistant/"))
            continue;
        topics << topic;
        EXPECT_TRUE(message.retained) << topic.constData();
        const QJsonObject config = QJsonDocument::fromJson(message.payload).object();
        uniqueIds << config[QStringLiteral("unique_id")].toString();
        const QJsonObject device = config[QStringLiteral("device")].toObject();
        EXPECT_EQ(device[QStringLiteral("identifiers")].toArray(), QJsonArray{QStringLiteral("zelvar_atelier")});
        EXPECT_EQ(device[QStringLiteral("name")].toString(), QStringLiteral("Zelvar atelier"));
        EXPECT_EQ(device[QStringLiteral("sw_version")].toString(), QStringLiteral(ZELVAR_VERSION));
        EXPECT_EQ(config[QStringLiteral("availability_topic")].toString(), QStringLiteral("zelvar/atelier/availability"));
    }
    EXPECT_EQ(topics.size(), 18);
    EXPECT_EQ(uniqueIds.size(), 18) << "one unique_id per entity";
    EXPECT_TRUE(uniqueIds.contains(QStringLiteral("zelvar_atelier_relay3")));
    EXPECT_FALSE(topics.contains("homeassistant/button/atelier/button2/config")) << "a button without caption";

    const QJsonObject relay3 = QJsonDocument::fromJson(*ha->last("homeassistant/switch/atelier/relay3/config")).object();
    EXPECT_EQ(relay3[QStringLiteral("command_topic")].toString(), QStringLiteral("zelvar/atelier/relay/3/set"));
    EXPECT_EQ(relay3[QStringLiteral("state_topic")].toString(), QStringLiteral("zelvar/atelier/relay/3/state"));
    EXPECT_EQ(relay3[QStringLiteral("payload_on")].toString(), QStringLiteral("ON"));
    const QJsonObject pompe = QJsonDocument::fromJson(*ha->last("homeassistant/button/atelier/button3/config")).object();
    EXPECT_EQ(pompe[QStringLiteral("name")].toString(), QStringLiteral("Pompe"));
    EXPECT_EQ(pompe[QStringLiteral("command_topic")].toString(), QStringLiteral("zelvar/atelier/button/3/press"));
    EXPECT_EQ(bridge.statusText(), QStringLiteral("Connecté à 127.0.0.1:%1, nœud « atelier »").arg(broker.port()));
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
    };
    for (const Row &row : rows) {
        log.clear();
        EXPECT_EQ(wireAfter(row.topic, row.payload, row.retain), row.wire) << row.topic.constData() << " " << row.payload.constData();
        const QStringList expected = row.refusal.isEmpty() ? QStringList()
            : QStringList{QStringLiteral("%1 : %2").arg(QString::fromUtf8(row.topic), row.refusal)};
        EXPECT_EQ(log, expected);
    }

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
        {"zelvar/atelier/relay/3/state", "OFF"}, {"zelvar/atelier/relay/4/state", "ON"}, {"zelvar/atelier/relay/5/state", "ON"}};
    EXPECT_EQ(seen, expected);

    // Whoever keeps sending nonsense cannot fill the journal: thirty lines a minute, five above.
    log.clear();
    for (int i = 0; i < 40; ++i)
        home.publish("zelvar/atelier/relay/1/set", "BLINK");
    home.waitFor([&] { return false; }, 300);
    EXPECT_EQ(log.size(), 25);
}

// Indexes move when a button is deleted: a config left by a button gone, in this run or an
// earlier one, is cleared.
TEST_F(MqttBridgeTest, ClearsTheConfigsOfButtonsGone)
{
    {
        MqttTestClient earlier(broker.port());
        earlier.publish("homeassistant/button/atelier/button9/config", R"({"name":"ancien"})", true);
        earlier.waitFor([] { return false; }, 100);
    }
    startBridge();
    control.setPanel(panelOf({QStringLiteral("Lampe")}));
    auto ha = watcher("homeassistant/button/#");
    ASSERT_TRUE(ha->waitFor([&] {
        return ha->last("homeassistant/button/atelier/button3/config").value_or("").isEmpty()
            && ha->last("homeassistant/button/atelier/button9/config").value_or("").isEmpty();
    }));
    MqttTestClient fresh(broker.port());
    fresh.subscribe("homeassistant/button/#");
    QSet<QByteArray> kept;
    for (const auto &[topic, message] : fresh.lastByTopic())
        if (message.retained)
            kept << topic;
    EXPECT_EQ(kept, QSet<QByteArray>{"homeassistant/button/atelier/button1/config"});

    // A node renamed takes its old device away.
    MqttSettings renamed = settings();
    renamed.node = QStringLiteral("atelier2");
    bridge.start(renamed);
    ASSERT_TRUE(processEventsUntil([&] { return bridge.status() == MqttBridge::Status::Connected; }, 5000));
    MqttTestClient ha2(broker.port());
    ha2.subscribe("zelvar/atelier2/availability", 0);
    ASSERT_TRUE(ha2.waitFor([&] { return ha2.last("zelvar/atelier2/availability") == "online"; }));
    ha2.subscribe("homeassistant/+/atelier/#");
    const auto left = std::count_if(ha2.messages.begin(), ha2.messages.end(),
                                    [](const MqttTestClient::Message &m) { return m.topic.startsWith("homeassistant/"); });
    EXPECT_EQ(left, 0);
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
    ASSERT_TRUE(home.waitFor([&] { return home.last("zelvar/garage/availability") == "online"; }, 8000))
        << serve.readAllStandardError().toStdString();
    unplugged.terminate();
    unplugged.waitForFinished(3000);
    EXPECT_TRUE(home.waitFor([&] { return home.last("zelvar/garage/availability") == "offline"; }, 3000));
    board.start(QStringLiteral(ZELVAR_BOARD_EXE), {QStringLiteral("--link"), link});
    ASSERT_TRUE(board.waitForReadyRead(5000));
    board.readLine();
    EXPECT_TRUE(home.waitFor([&] { return home.last("zelvar/garage/availability") == "online"; }, 8000));
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
