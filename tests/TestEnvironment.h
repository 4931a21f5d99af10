#pragma once

#include <QByteArray>
#include <QTemporaryDir>

#include <unistd.h>

// What every test process gets before its first test: the user's own configuration and state
// folders are never written by a test, and the Zelvar processes a test starts meet only each
// other on the instance socket, not the user's program or service, nor those of tests
// running beside.
class TestEnvironment
{
public:
    TestEnvironment()
    {
        qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
        // What the scheduler remembers between runs is the test process's own too.
        qputenv("XDG_STATE_HOME", m_state.path().toLocal8Bit());
        if (!qEnvironmentVariableIsSet("ZELVAR_INSTANCE_NAME"))
            qputenv("ZELVAR_INSTANCE_NAME", "zelvar-test-" + QByteArray::number(::getpid()));
    }

private:
    QTemporaryDir m_config;
    QTemporaryDir m_state;
};
