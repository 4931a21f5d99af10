#pragma once

#include <QStringList>
#include <QTextStream>

class QCommandLineParser;

namespace zelvar::cli {

// Exit statuses shared by every command.
constexpr int UsageError = 64;
constexpr int DeviceError = 2; // the port raised, or the infrared code was not sent: the reason is printed

// Every command takes its own arguments (the command name first) and returns the exit status.
int runShow(const QStringList &arguments);
int runCheck(const QStringList &arguments);
int runExport(const QStringList &arguments);
int runRelay(const QStringList &arguments);
int runPress(const QStringList &arguments);
int runSend(const QStringList &arguments);
int runPorts(const QStringList &arguments);
int runSetPort(const QStringList &arguments);
int runAt(const QStringList &arguments);
int runSun(const QStringList &arguments);

// --port and --speed, for the commands that talk to the board.
void addPortOptions(QCommandLineParser &parser);
int runSeq(const QStringList &arguments);
int runPlay(const QStringList &arguments);

QTextStream &out();
QTextStream &err();

// Adds --help and parses a command's arguments. False when the command must end now with
// *status: help printed (0, followed by `helpEpilogue`) or bad options (UsageError).
bool parseCommand(QCommandLineParser &parser, const QStringList &arguments, int *status,
                  const QString &helpEpilogue = QString());

} // namespace zelvar::cli
