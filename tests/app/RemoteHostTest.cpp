#include "app/RemoteHost.h"

#include "../devices/ComPortPty.h"
#include "TestFiles.h"
#include "app/Form_Base.h"
#include "devices/ComPort.h"
#include "forms/ErrorReport.h"
#include "forms/Forms.h"
#include "panel/Form_ActBtn.h"
#include "scheduler/Form_Progmt.h"
#include "settings/PagesDlg.h"
#include "settings/RemotePage.h"
#include "remote/MosquittoBroker.h"

#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QTabWidget>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <gtest/gtest.h>

using namespace zelvar;
using zelvar::testing::PseudoTerminal;
using zelvar::testing::readFile;
using zelvar::testing::writeFile;

namespace {

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// One request on loopback, answered while the event loop runs: the status line and the body.
std::pair<QByteArray, QByteArray> get(quint16 port, const QByteArray &path, const QByteArray &token)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    socket.write("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port)
                 + "\r\nAuthorization: Bearer " + token + "\r\nConnection: close\r\n\r\n");
    QByteArray answer;
    const bool answered = QTest::qWaitFor(
        [&] {
            answer += socket.readAll();
            return socket.state() == QAbstractSocket::UnconnectedState || answer.contains("}");
        },
        5000);
    EXPECT_TRUE(answered);
    const qsizetype end = answer.indexOf("\r\n\r\n");
    return {answer.left(answer.indexOf("\r\n")), end < 0 ? QByteArray() : answer.mid(end + 4)};
}

class RemoteHostTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(config.isValid());
        setErrorReportHook([this](const QString &text) { errors << text; });
        const QDir demo(QStringLiteral(ZELVAR_DEMO));
        QByteArray panelFile = readFile(demo.filePath("Zelvar2.ini"));
        panelFile.replace("=COM1\r\n", "=" + board.slavePath().toLocal8Bit() + "\r\n");
        writeFile(dir.filePath("Zelvar2.ini"), panelFile);
        QDir().mkpath(dir.filePath("Activites"));
        QFile::copy(demo.filePath("Activites/Jardin.ini"), dir.filePath("Activites/Jardin.ini"));
        QFile::copy(demo.filePath("Sequenceur.ini"), dir.filePath("Sequenceur.ini"));
    }

    void TearDown() override
    {
        base.reset();
        setErrorReportHook({});
    }

    RemoteHost &start(quint16 port)
    {
        RemoteSettings settings;
        settings.http.enabled = true;
        settings.http.port = port;
        EXPECT_TRUE(writeRemoteSettings(settings));
        QApplication::setQuitOnLastWindowClosed(false);
        base = std::make_unique<TForm_Base>();
        auto *host = qobject_cast<RemoteHost *>(Forms::instance().remote.data());
        EXPECT_NE(host, nullptr);
        return *host;
    }

    zelvar::testing::WorkingDirectory dir;
    PseudoTerminal board;
    zelvar::testing::ConfigHome config;
    std::unique_ptr<TForm_Base> base;
    QStringList errors;
};

} // namespace

TEST_F(RemoteHostTest, TheProgramServesItsPanelFromRemoteIni)
{
    const quint16 port = freePort();
    RemoteHost &host = start(port);
    ASSERT_TRUE(host.status().httpListening) << host.status().httpError.toStdString();
    EXPECT_EQ(host.status().httpPort, port);

    const auto [status, body] = get(port, "/api/health", remoteToken());
    EXPECT_EQ(status, "HTTP/1.1 200 OK");
    const QJsonObject health = QJsonDocument::fromJson(body).object();
    EXPECT_EQ(health.value("host").toString(), "program");
    EXPECT_TRUE(health.value("port_open").toBool());
    EXPECT_EQ(health.value("port").toString(), board.slavePath());

    // The panel the interfaces act on follows the live one.
    TForm_ActBtn *panel = Forms::instance().Form_ActBtn;
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(host.control().buttons().size(), panel->buttons().size());
    ButtonConfig lamp;
    lamp.caption = "Lampe";
    panel->Rebuild({lamp}, {});
    ASSERT_EQ(host.control().buttons().size(), 2u);
    EXPECT_EQ(host.control().panel().buttons.at(0).caption, "Lampe");
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(RemoteHostTest, AServerThatCannotStartSaysSoOnThePageAndTheProgramRuns)
{
    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost, 0));
    RemoteHost &host = start(taken.serverPort());
    EXPECT_FALSE(host.status().httpListening);
    EXPECT_FALSE(host.status().httpError.isEmpty());
    EXPECT_TRUE(errors.isEmpty()) << "no box at start";

    // Freed, the port is taken by applying the same settings again.
    taken.close();
    host.apply(host.settings());
    EXPECT_TRUE(host.status().httpListening);
    EXPECT_TRUE(host.status().httpError.isEmpty());
}

TEST_F(RemoteHostTest, TheProgramsAlarmsAndActivitiesAreTheOnesListedAndPlayed)
{
    RemoteHost &host = start(freePort());
    RemoteControl &control = host.control();
    EXPECT_TRUE(control.schedule().empty()) << "no scheduler yet, no alarm runs";
    base->Bo_PmgClick();
    TForm_Progmt *scheduler = Forms::instance().Form_Progmt;
    ASSERT_NE(scheduler, nullptr);
    scheduler->Btn_AddPrgmClick();
    EXPECT_EQ(control.schedule().size(), 1u);
    QSignalSpy fired(&control, &RemoteControl::fired);
    emit scheduler->engine().fired(1, 3, 0);
    EXPECT_EQ(fired.size(), 1);
    scheduler->close();

    EXPECT_TRUE(control.playSequence("Default").ok());
    EXPECT_TRUE(control.playSequence("Jardin.ini").ok());
    EXPECT_TRUE(control.stopSequence().ok());
    for (const char *name : {"Absent.ini", "../Zelvar2.ini", "Activites/Jardin.ini"})
        EXPECT_EQ(control.playSequence(name).kind, RemoteResult::Kind::NotFound) << name;
}

TEST_F(RemoteHostTest, AGuestOfTheServiceLeavesServingToIt)
{
    Forms::instance().guest = true;
    RemoteHost &host = start(freePort());
    Forms::instance().guest = false;
    EXPECT_TRUE(host.status().guest);
    EXPECT_FALSE(host.status().httpListening);
    EXPECT_TRUE(host.status().httpError.isEmpty());
}

TEST_F(RemoteHostTest, TheBridgeStartsFromTheSettingsAndTellsItsStateLive)
{
    zelvar::testing::MosquittoBroker broker;
    ASSERT_TRUE(broker.problem().isEmpty()) << broker.problem().toStdString();
    RemoteHost &host = start(freePort());
    int told = 0;
    QObject::connect(&host, &RemoteLink::statusChanged, [&told] { ++told; });
    RemoteSettings settings = host.settings();
    settings.mqtt.enabled = true;
    settings.mqtt.host = "127.0.0.1";
    settings.mqtt.port = broker.port();
    host.apply(settings);
    EXPECT_TRUE(QTest::qWaitFor([&] { return host.status().mqtt.startsWith("Connecté"); }, 5000))
        << host.status().mqtt.toStdString();

    // A broker gone is said, and the program goes on.
    broker.stop();
    EXPECT_TRUE(QTest::qWaitFor([&] { return host.status().mqtt.startsWith("Pas de connexion"); }, 5000))
        << host.status().mqtt.toStdString();
    EXPECT_GE(told, 3);
    EXPECT_TRUE(host.status().httpListening) << "the server was left alone";
}

// A node renamed on the settings page takes its old device away from Home Assistant: the
// program clears it before leaving the broker under the old name.
TEST_F(RemoteHostTest, RenamingTheNodeOnTheSettingsPageClearsTheOldDevice)
{
    zelvar::testing::MosquittoBroker broker;
    ASSERT_TRUE(broker.problem().isEmpty()) << broker.problem().toStdString();
    RemoteHost &host = start(freePort());
    RemoteSettings settings = host.settings();
    settings.mqtt.enabled = true;
    settings.mqtt.host = "127.0.0.1";
    settings.mqtt.port = broker.port();
    settings.mqtt.node = "atelier";
    ASSERT_TRUE(writeRemoteSettings(settings));
    host.apply(settings);
    zelvar::testing::MqttTestClient ha(broker.port());
    ha.subscribe("zelvar/atelier/availability", 0);
    ASSERT_TRUE(ha.waitFor([&] { return ha.last("zelvar/atelier/availability") == "online"; }));
    ha.subscribe("homeassistant/device/atelier/config");
    ASSERT_FALSE(ha.last("homeassistant/device/atelier/config").value_or("").isEmpty());

    // Opened from the layout editor, which takes the panel's key hook away meanwhile.
    Forms::instance().Form_ActBtn->removeMessageHook();
    QWidget editor;
    QPointer<TPagesDlg> dialog = TPagesDlg::open({&editor, nullptr});
    dialog->PageControl1->setCurrentWidget(dialog->Telecommande);
    dialog->Telecommande->Edit_Noeud->selectAll();
    QTest::keyClicks(dialog->Telecommande->Edit_Noeud, "atelier2");
    ASSERT_TRUE(dialog->Btn_Appliquer->isEnabled());
    QTest::mouseClick(dialog->Btn_Appliquer, Qt::LeftButton);
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    EXPECT_TRUE(ha.waitFor([&] {
        return ha.last("homeassistant/device/atelier/config")->isEmpty() && ha.last("zelvar/atelier/availability")->isEmpty();
    })) << host.status().mqtt.toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return host.status().mqtt.endsWith("nœud « atelier2 »"); }, 5000))
        << host.status().mqtt.toStdString();
    delete dialog;
}
