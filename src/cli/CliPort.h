#pragma once

#include <QList>
#include <QString>

class QCommandLineParser;

namespace zelvar {
class ProfileFile;
class TComPort;
struct PanelSettings;
}

namespace zelvar::cli {

// The port and speed a command uses: --port/--speed, else those of Zelvar2.ini.
struct PortChoice
{
    QString name;
    QString speed;
};
PortChoice portChoice(const QCommandLineParser &parser, const PanelSettings &settings);

// Whether a port is named at all, by --port or by Zelvar2.ini. Commands that run unattended
// do not fall back to the panel's default COM1, often the console.
bool portNamed(const QCommandLineParser &parser, const ProfileFile &panelFile);

// How long a port that another program holds (busy) is tried again before its error is
// raised: two commands started together both reach the board, one after the other.
constexpr int BusyRetryMs = 2000;

// Sets the port to the choice and opens it; a port error raises EComPort. A busy port is
// tried again for up to `busyRetryMs`; any other error is raised at once.
void openPort(TComPort &port, const PortChoice &choice, int busyRetryMs = BusyRetryMs);

// SIGINT and SIGTERM, handed to the event loop through a pipe instead of ending the
// program, so that an interrupted command ends its own way. Whichever thread the signal
// reaches, the handler only writes a byte; fd() becomes readable. The previous handlers
// come back when it goes. With Hangup::Caught, SIGHUP comes through the pipe too (a
// command that reloads its files on it); take() says which signals came.
class StopSignals
{
public:
    enum class Hangup { Default, Caught };
    explicit StopSignals(Hangup hangup = Hangup::Default);
    ~StopSignals();
    StopSignals(const StopSignals &) = delete;
    StopSignals &operator=(const StopSignals &) = delete;
    int fd() const;
    // The signals caught since the last call, in order.
    QList<int> take();
};

} // namespace zelvar::cli
