#include "app/Form_Base.h"
#include "forms/Forms.h"
#include "app/SingleInstance.h"
#include "common/Pause.h"
#include "panel/PanelConfig.h"

#include "../devices/ComPortPty.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>
#include <gtest/gtest.h>

#include <future>

using namespace zelvar;
using zelvar::testing::PseudoTerminal;

namespace {

// Runs the program in a working directory of its own whose panel drives a pseudo-terminal,
// under an instance name no other test uses.
class Instances : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid() && pty.isValid());
        PanelConfig config;
        config.settings.CurrentPortName = pty.slavePath();
        ASSERT_TRUE(writePanelConfig(config).save(dir.filePath(PanelFiles::config())).ok);
        name = QStringLiteral("zelvar-test-") + QUuid::createUuid().toString(QUuid::Id128);
    }

    void TearDown() override
    {
        for (auto &process : processes) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(5000);
            }
        }
        QFile::remove(QDir(QDir::tempPath()).filePath(name));
        QFile::remove(QDir(QDir::tempPath()).filePath(name + QStringLiteral(".lock")));
    }

    QProcess *start()
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("ZELVAR_INSTANCE_NAME"), name);
        process->setProcessEnvironment(environment);
        process->setWorkingDirectory(dir.path());
        process->start(QStringLiteral(ZELVAR_PROGRAM), {});
        EXPECT_TRUE(process->waitForStarted(5000));
        processes.push_back(std::move(process));
        return processes.back().get();
    }

    // The running program answers a restore request once its window is back.
    bool answers(int timeoutMs = 15000)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            if (SingleInstance::askToRestore(name, 1000))
                return true;
            QTest::qWait(100);
        }
        return false;
    }

    QTemporaryDir dir;
    PseudoTerminal pty;
    QString name;
    std::vector<std::unique_ptr<QProcess>> processes;
};

TEST_F(Instances, SecondStartRestoresTheFirstAndEndsWithoutAWindow)
{
    QProcess *first = start();
    ASSERT_TRUE(answers());

    QProcess *second = start();
    ASSERT_TRUE(second->waitForFinished(10000));
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_EQ(first->state(), QProcess::Running);
    // Only one program ever opened the port.
    EXPECT_TRUE(answers(2000));
}

TEST_F(Instances, AKilledInstanceDoesNotStopTheNextStart)
{
    QProcess *first = start();
    ASSERT_TRUE(answers());
    first->kill();
    ASSERT_TRUE(first->waitForFinished(5000));
    EXPECT_TRUE(QFile::exists(QDir(QDir::tempPath()).filePath(name))); // its socket stays behind

    QProcess *next = start();
    ASSERT_TRUE(answers());
    EXPECT_EQ(next->state(), QProcess::Running);
}

// A restore request brings the main window back from the task bar.
TEST_F(Instances, RestoreRequestBringsTheWindowBack)
{
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    QApplication::setQuitOnLastWindowClosed(false);
    setPauseHook([](int) {});
    {
        SingleInstance instance(name);
        ASSERT_TRUE(instance.claim());
        TForm_Base base;
        QObject::connect(&instance, &SingleInstance::restoreRequested, &base, &TForm_Base::restoreWindow);
        base.show();
        base.showMinimized();
        ASSERT_TRUE(base.isMinimized());

        // The request blocks its caller, as a second start does: ask from another thread.
        auto asked = std::async(std::launch::async, [this] { return SingleInstance::askToRestore(name, 5000); });
        QDeadlineTimer deadline(6000);
        while (asked.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready && !deadline.hasExpired())
            QTest::qWait(20);
        EXPECT_TRUE(asked.get());
        EXPECT_FALSE(base.isMinimized());
        EXPECT_TRUE(base.isVisible());
    }
    setPauseHook({});
    QApplication::setQuitOnLastWindowClosed(true);
    QDir::setCurrent(previous);
    Forms::instance().settings = PanelSettings{};
}

} // namespace
