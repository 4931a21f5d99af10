#pragma once

#include <QStringList>
#include <QTextStream>

namespace zelvar::cli {

// Every command takes its own arguments (the command name first) and returns the exit status.
int runShow(const QStringList &arguments);
int runCheck(const QStringList &arguments);
int runExport(const QStringList &arguments);
int runRelay(const QStringList &arguments);
int runPress(const QStringList &arguments);
int runSend(const QStringList &arguments);
int runPorts(const QStringList &arguments);
int runSetPort(const QStringList &arguments);

QTextStream &out();
QTextStream &err();

} // namespace zelvar::cli
