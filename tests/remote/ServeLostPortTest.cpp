#include "devices/ComPortPty.h"
#include "remote/HttpClient.h"

#include "devices/RelayCommand.h"
#include "panel/PanelConfig.h"
#include "scheduler/ScheduleFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

#include <unistd.h>

using namespace zelvar;
using namespace zelvar::testing;

namespace {

// The board behind a link as /dev/serial/by-id/… gives it; pointing it elsewhere is atomic.
void pointLink(const QString &link, const QString &target)
{
    const QString fresh = link + QStringLiteral(".new");
    QFile::remove(fresh);
    ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(fresh).constData()), 0);
    ASSERT_EQ(::rename(QFile::encodeName(fresh).constData(), QFile::encodeName(link).constData()), 0);
}

QDateTime wholeSecond(const QDateTime &t)
{
    return QDateTime(t.date(), QTime(t.time().hour(), t.time().minute(), t.time().second()));
}

} // namespace

// An adapter unplugged under the service, then plugged back as another device behind the
// same link: one line when it goes, one when it is back; meanwhile /api/health says so,
// the alarm due during the loss is sent at the return, and the next one on the new device.
TEST(ServeLostPort, AReplugBehindTheSameLinkIsReopenedAndTheAlarmsFollow)
{
    QTemporaryDir dir;
    auto first = std::make_unique<PseudoTerminal>();
    PseudoTerminal second;
    ASSERT_TRUE(dir.isValid() && first->isValid() && second.isValid());
    const QString link = dir.filePath(QStringLiteral("usb-Relais_16-if00"));
    pointLink(link, first->slavePath());

    PanelConfig config;
    config.settings.CurrentPortName = link;
    config.buttons = {ButtonConfig{On, 1, QStringLiteral("0"), 0, 0, QStringLiteral("Lampe"), 0, {}, QStringLiteral("Lampe")},
                      ButtonConfig{Off, 2, QStringLiteral("0"), 0, 0, QStringLiteral("Pompe"), 0, {}, QStringLiteral("Pompe")}};
    config.buttonsEverHeld = true;
    ASSERT_TRUE(writePanelConfig(config).save(dir.filePath(PanelFiles::config())).ok);
    const QDateTime start = wholeSecond(QDateTime::currentDateTime());
    const QDateTime duringLoss = start.addSecs(3);
    const QDateTime afterReturn = start.addSecs(7);
    const auto row = [](const QDateTime &at, int button, const char *caption) {
        return SavedScheduleRow{at.date(), at.time().toString(QStringLiteral("hh:mm:ss")), button,
                                QString::fromUtf8(caption), Recurrence{}, true};
    };
    ASSERT_TRUE(writeSchedule({row(duringLoss, 1, "Lampe"), row(afterReturn, 2, "Pompe")})
                    .save(dir.filePath(ScheduleFiles::path()))
                    .ok);

    QProcess serve;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    serve.setProcessEnvironment(env);
    serve.setWorkingDirectory(dir.path());
    serve.start(QStringLiteral(ZELVAR_CLI), {QStringLiteral("serve"), QStringLiteral("--http"), QStringLiteral("127.0.0.1:0")});
    QByteArray log;
    const auto logged = [&](const QByteArray &what, int timeoutMs) {
        return processEventsUntil([&] {
            serve.waitForReadyRead(10);
            log += serve.readAllStandardOutput();
            return log.contains(what);
        }, timeoutMs);
    };
    ASSERT_TRUE(logged(" port ", 10000)) << log.constData();
    const quint16 port = quint16(log.mid(log.indexOf(" port ") + 6, 6).trimmed().toUInt());
    QFile tokenFile(dir.filePath(QStringLiteral("config/zelvar/remote-token")));
    ASSERT_TRUE(tokenFile.open(QIODevice::ReadOnly));
    const QByteArray auth = "Authorization: Bearer " + tokenFile.readAll().trimmed() + "\r\n";
    const auto health = [&] { return exchange(port, httpRequest("GET", "/api/health", {}, auth)).json(); };
    EXPECT_FALSE(health()["port_lost"].toBool());

    first.reset(); // unplugged
    ASSERT_TRUE(logged("port perdu", 3000)) << log.constData();
    EXPECT_TRUE(health()["port_lost"].toBool());
    EXPECT_FALSE(health()["port_open"].toBool());
    // Its second passes while the board is away: the alarm waits for it, and says nothing yet.
    processEventsUntil([&] { return QDateTime::currentDateTime() > duringLoss.addMSecs(1500); }, 6000);
    log += serve.readAllStandardOutput();
    EXPECT_FALSE(log.contains("fired")) << log.constData();
    pointLink(link, second.slavePath()); // plugged back: another device behind the same name

    ASSERT_TRUE(logged("port retrouvé", 3000)) << log.constData();
    EXPECT_EQ(second.read(5, 3000), QByteArray("S1N$#"));
    EXPECT_FALSE(health()["port_lost"].toBool());
    EXPECT_EQ(second.read(5, 8000), QByteArray("S2F$#")) << "the next alarm, on the new device";

    serve.terminate();
    EXPECT_TRUE(serve.waitForFinished(10000));
    log += serve.readAllStandardOutput();
    EXPECT_EQ(log.count("port perdu"), 1) << log.constData();
    EXPECT_EQ(log.count("port retrouvé"), 1) << log.constData();
    // Named as the user gave it, the link, on one line each.
    EXPECT_TRUE(log.contains("port perdu " + link.toUtf8() + " ")) << log.constData();
    EXPECT_TRUE(log.contains("port retrouvé " + link.toUtf8() + "\n")) << log.constData();
    EXPECT_TRUE(log.contains("fired ligne 1 bouton 1 « Lampe » : au retour du port")) << log.constData();
    EXPECT_TRUE(log.contains("fired ligne 2 bouton 2 « Pompe »\n")) << log.constData();
    EXPECT_FALSE(log.contains("error")) << log.constData();
}
