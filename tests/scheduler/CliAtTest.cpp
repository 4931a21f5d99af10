#include "panel/PanelConfig.h"
#include "devices/RelayCommand.h"

#include "devices/ComPortPty.h"

#include <QDateTime>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace zelvar;
using zelvar::testing::PseudoTerminal;

namespace {

// `zelvar-cli at` in a working directory whose panel drives a pseudo-terminal: button 1 is
// relay 1 on, button 2 a macro.
class CliAt : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid() && pty.isValid());
        writePanel(true);
    }

    void writePanel(bool withPort)
    {
        PanelConfig config;
        config.settings.CurrentPortName = pty.slavePath();
        ButtonConfig on;
        on.mode = On;
        on.relay = 1;
        on.description = QStringLiteral("Lampe");
        ButtonConfig macro;
        macro.mode = Macros;
        macro.description = QStringLiteral("Macro");
        config.buttons = {on, macro};
        config.buttonsEverHeld = true;
        ProfileFile file = writePanelConfig(config);
        if (!withPort) {
            QByteArray bytes = file.toBytes();
            bytes.replace(("\r\n" + PanelKeys::PortName + "=" + pty.slavePath()).toLatin1(), QByteArray());
            file = ProfileFile::fromBytes(bytes);
        }
        ASSERT_TRUE(file.save(dir.filePath(PanelFiles::config())).ok);
    }

    void start(const QStringList &arguments, const QString &timeZone = QString())
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LANGUAGE"), QStringLiteral("en"));
        if (!timeZone.isEmpty())
            env.insert(QStringLiteral("TZ"), timeZone);
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(dir.path());
        process.start(QStringLiteral(ZELVAR_CLI), QStringList{QStringLiteral("at")} + arguments);
        ASSERT_TRUE(process.waitForStarted());
    }

    int finish()
    {
        process.waitForFinished(30000);
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    static QStringList when(const QDateTime &t)
    {
        return {t.date().toString(Qt::ISODate), t.time().toString(QStringLiteral("hh:mm:ss"))};
    }

    QTemporaryDir dir;
    PseudoTerminal pty;
    QProcess process;
};

TEST_F(CliAt, FiresTheButtonJustAfterItsSecond)
{
    const QDateTime target = QDateTime::currentDateTime().addSecs(3);
    const QDateTime second(target.date(), QTime(target.time().hour(), target.time().minute(), target.time().second()));
    start(when(second) << QStringLiteral("1"));
    const QByteArray wire = pty.read(5, 6000);
    const qint64 arrived = QDateTime::currentMSecsSinceEpoch();
    EXPECT_EQ(wire, QByteArray("S1N$#"));
    EXPECT_GE(arrived, second.toMSecsSinceEpoch());
    EXPECT_LT(arrived, second.toMSecsSinceEpoch() + 1000) << "a generous bound: it fires in its own second";
    EXPECT_EQ(finish(), 0) << process.readAllStandardError().toStdString();
    EXPECT_TRUE(process.readAllStandardOutput().contains("S1N$#"));
}

TEST_F(CliAt, APastSecondSendsNothing)
{
    start(when(QDateTime::currentDateTime().addSecs(-5)) << QStringLiteral("1"));
    EXPECT_EQ(finish(), 1);
    EXPECT_TRUE(pty.drain(100).isEmpty());
}

TEST_F(CliAt, InterruptedBeforeItsTimeSendsNothing)
{
    start(when(QDateTime::currentDateTime().addSecs(60)) << QStringLiteral("1"));
    process.setReadChannel(QProcess::StandardError);
    ASSERT_TRUE(process.waitForReadyRead(10000)); // the wait has begun
    process.terminate();
    EXPECT_EQ(finish(), 1);
    EXPECT_TRUE(pty.drain(100).isEmpty());
}

TEST_F(CliAt, StatusesOfWhatCannotBeDone)
{
    const QDateTime soon = QDateTime::currentDateTime().addSecs(1);
    const struct
    {
        QStringList arguments;
        int status;
        const char *timeZone;
    } cases[] = {
        {when(soon) << "3", 64, ""},                                  // no button 3
        {when(soon) << "0", 64, ""},
        {QStringList{"2026-13-01", "07:30:00", "1"}, 64, ""},
        {QStringList{"07:61:00", "1"}, 64, ""},
        {QStringList{"2027-03-28", "02:30:00", "1"}, 64, "Europe/Paris"}, // skipped by summer time
    };
    for (const auto &c : cases) {
        start(c.arguments, QString::fromLatin1(c.timeZone));
        EXPECT_EQ(finish(), c.status) << c.arguments.join(' ').toStdString();
    }
    // A macro sends nothing, says so, and that is no failure.
    start(when(QDateTime::currentDateTime().addSecs(1)) << "2");
    EXPECT_EQ(finish(), 0);
    EXPECT_TRUE(process.readAllStandardOutput().contains("rien"));
    EXPECT_TRUE(pty.drain(100).isEmpty());

    // No port in the panel file and none given: not COM1 by default.
    writePanel(false);
    start(when(soon) << "1");
    EXPECT_EQ(finish(), 2);
}

} // namespace
