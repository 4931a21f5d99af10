#pragma once

#include "common/ProfileFile.h"

#include <QDate>
#include <QStringList>
#include <QTextStream>
#include <optional>

class QCommandLineParser;

namespace zelvar::cli {

// Exit statuses shared by every command.
constexpr int UsageError = 64;
constexpr int DeviceError = 2; // the port raised, or the infrared code was not sent: the reason is printed

// Every command takes its own arguments (the command name first) and returns the exit status.
int runShow(const QStringList &arguments);
int runCheck(const QStringList &arguments);
int runExport(const QStringList &arguments); // in zelvar-cli-pictures
int runRelay(const QStringList &arguments);
int runPress(const QStringList &arguments);
int runSend(const QStringList &arguments);
int runPorts(const QStringList &arguments);
int runSetPort(const QStringList &arguments);
int runAt(const QStringList &arguments);
int runNext(const QStringList &arguments);
int runSun(const QStringList &arguments);
int runServe(const QStringList &arguments); // in zelvar-cli-serve

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

// A file of the working directory as the commands read it. One that is there but cannot be
// read (a pipe, a device, more than 16 MB…) is named on the error output and not returned:
// the command then ends with status 1 rather than work on an empty file.
std::optional<ProfileFile> readProfile(const QString &command, const QString &path);

// A date argument, AAAA-MM-JJ; an invalid one is named on the error output and not returned
// (the command then ends with UsageError).
std::optional<QDate> readDateArgument(const QString &command, const QString &text);

} // namespace zelvar::cli
