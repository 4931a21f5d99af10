#include "cli/CliPort.h"
#include "cli/CliCommands.h"

#include "common/ProfileFile.h"
#include "devices/ComError.h"
#include "devices/ComPort.h"
#include "panel/PanelConfig.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace zelvar::cli {

namespace {

constexpr int BusyRetryStepMs = 20;

} // namespace

void addPortOptions(QCommandLineParser &parser)
{
    parser.addOption({QStringLiteral("port"),
                      QStringLiteral("Le port à utiliser au lieu de celui de Zelvar2.ini (COM4, /dev/ttyUSB0…)."),
                      QStringLiteral("PORT")});
    parser.addOption({QStringLiteral("speed"),
                      QStringLiteral("La vitesse à utiliser au lieu de celle de Zelvar2.ini (9600…)."),
                      QStringLiteral("BAUDS")});
}

PortChoice portChoice(const QCommandLineParser &parser, const PanelSettings &settings)
{
    return {parser.isSet(QStringLiteral("port")) ? parser.value(QStringLiteral("port")) : settings.CurrentPortName,
            parser.isSet(QStringLiteral("speed")) ? parser.value(QStringLiteral("speed")) : settings.CurrentPortSpeed};
}

bool portNamed(const QCommandLineParser &parser, const ProfileFile &panelFile)
{
    return parser.isSet(QStringLiteral("port")) || panelFile.hasKey(PanelKeys::Com, PanelKeys::PortName);
}

void openPort(TComPort &port, const PortChoice &choice, int busyRetryMs)
{
    port.setPort(choice.name);
    port.setBaudRate(TCustomComPort::BaudRateFromText(choice.speed));
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        try {
            port.OpenPort();
            return;
        } catch (const EComPort &error) {
            const bool busy = error.ErrorNumber() == CError_OpenFailed && error.SystemError() == EBUSY;
            if (!busy || waited.elapsed() + BusyRetryStepMs > busyRetryMs)
                throw;
        }
        QThread::msleep(BusyRetryStepMs);
    }
}

namespace {

int stopPipe[2] = {-1, -1};
struct sigaction previousInt {};
struct sigaction previousTerm {};
struct sigaction previousHup {};
bool hangupCaught = false;

} // namespace

StopSignals::StopSignals(Hangup hangup)
{
    hangupCaught = hangup == Hangup::Caught;
    if (::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        stopPipe[0] = stopPipe[1] = -1;
    struct sigaction action {};
    action.sa_handler = [](int signal) {
        const char byte = char(signal);
        [[maybe_unused]] const ssize_t n = ::write(stopPipe[1], &byte, 1);
    };
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &previousInt);
    ::sigaction(SIGTERM, &action, &previousTerm);
    if (hangupCaught)
        ::sigaction(SIGHUP, &action, &previousHup);
}

StopSignals::~StopSignals()
{
    ::sigaction(SIGINT, &previousInt, nullptr);
    ::sigaction(SIGTERM, &previousTerm, nullptr);
    if (hangupCaught)
        ::sigaction(SIGHUP, &previousHup, nullptr);
    for (int &fd : stopPipe)
        if (fd >= 0)
            ::close(std::exchange(fd, -1));
}

int StopSignals::fd() const
{
    return stopPipe[0];
}

QList<int> StopSignals::take()
{
    QList<int> caught;
    char bytes[64];
    ssize_t n = 0;
    while ((n = ::read(stopPipe[0], bytes, sizeof bytes)) > 0)
        for (ssize_t k = 0; k < n; ++k)
            caught << int(bytes[k]);
    return caught;
}

} // namespace zelvar::cli
