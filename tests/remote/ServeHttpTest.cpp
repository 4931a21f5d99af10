#include "devices/ComPortPty.h"
#include "remote/HttpClient.h"

#include "devices/RelayCommand.h"
#include "panel/PanelConfig.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace zelvar;
using namespace zelvar::testing;

// zelvar-cli serve --http: the service answers as the service and plays an activity of its
// folder on its port.
TEST(ServeHttp, PlaysAnActivityAndAnswersAsTheService)
{
    QTemporaryDir dir;
    PseudoTerminal pty;
    ASSERT_TRUE(dir.isValid() && pty.isValid());
    PanelConfig config;
    config.settings.CurrentPortName = pty.slavePath();
    config.buttons = {ButtonConfig{On, 1, QStringLiteral("0"), 0, 0, QStringLiteral("Lampe"), 0, {}, QStringLiteral("Lampe")}};
    config.buttonsEverHeld = true;
    ASSERT_TRUE(writePanelConfig(config).save(dir.filePath(PanelFiles::config())).ok);
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("Activites")));
    QFile activity(dir.filePath(QStringLiteral("Activites/Jardin.ini")));
    ASSERT_TRUE(activity.open(QIODevice::WriteOnly));
    activity.write("[pistes]\r\nNombre total de piste=1\r\nBtn de boucle=125\r\ncurseur de taille=1\r\n"
                   "[piste1]\r\nNombre total de btns=1\r\nCode selectionne=1\r\nLeft du btn1=1\r\n");
    activity.close();

    QProcess serve;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    serve.setProcessEnvironment(env);
    serve.setWorkingDirectory(dir.path());
    serve.start(QStringLiteral(ZELVAR_CLI), {QStringLiteral("serve"), QStringLiteral("--http"), QStringLiteral("127.0.0.1:0")});
    QByteArray log;
    ASSERT_TRUE(processEventsUntil([&] {
        serve.waitForReadyRead(10);
        log += serve.readAllStandardOutput();
        return log.contains(" port ");
    }, 10000)) << log.constData();
    const quint16 port = quint16(log.mid(log.indexOf(" port ") + 6).trimmed().toUInt());
    QFile tokenFile(dir.filePath(QStringLiteral("config/zelvar/remote-token")));
    ASSERT_TRUE(tokenFile.open(QIODevice::ReadOnly));
    const QByteArray auth = "Authorization: Bearer " + tokenFile.readAll().trimmed() + "\r\n";

    const Answer health = exchange(port, httpRequest("GET", "/api/health", {}, auth));
    EXPECT_EQ(health.json()["host"].toString(), "service");
    EXPECT_TRUE(health.json()["port_open"].toBool());
    EXPECT_EQ(exchange(port, httpRequest("POST", "/api/sequence/play", R"({"activity":"Verger.ini"})", auth)).status, 404);
    const Answer play = exchange(port, httpRequest("POST", "/api/sequence/play", R"({"activity":"Jardin.ini"})", auth));
    EXPECT_EQ(play.status, 200) << play.body.constData();
    EXPECT_EQ(pty.read(5, 4000), QByteArray("S1N$#"));
    EXPECT_EQ(exchange(port, httpRequest("POST", "/api/sequence/stop", {}, auth)).status, 200);
    serve.terminate();
    EXPECT_TRUE(serve.waitForFinished(10000));
    EXPECT_TRUE(serve.readAllStandardOutput().contains("sequence Activites/Jardin.ini arrêtée"));
}
