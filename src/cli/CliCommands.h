#pragma once

#include <QStringList>
#include <QTextStream>

namespace zelvar::cli {

// Every command takes its own arguments (the command name first) and returns the exit status.
int runShow(const QStringList &arguments);
int runCheck(const QStringList &arguments);
int runExport(const QStringList &arguments);

QTextStream &out();
QTextStream &err();

} // namespace zelvar::cli
