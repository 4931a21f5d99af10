#pragma once

#include "common/ProfileFile.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

namespace zelvar {

// Project files (".zel") carry a panel configuration in the layout of the panel file, with
// its picture beside them (same name, ".bmp").
namespace ProjectFile {

inline QString defaultName() { return QStringLiteral("RiroravaziZud.zel"); }
inline QString directory() { return QStringLiteral("zel"); }
// How many backups of each replaced file an import keeps, the newest ones.
constexpr int KeptBackups = 10;

struct Result
{
    bool ok = false;
    QString error; // for the user, when !ok
};

// A panel configuration has a "Reglages" section with a readable button count.
bool isPanelConfiguration(const ProfileFile &profile);

// Writes the working directory's configuration (and its picture) to `target`.
Result exportTo(const QString &target);

// Makes the project at `source` the working directory's configuration. Refuses a file that
// is not a panel configuration and then changes nothing. The configuration it replaces is
// kept as a backup of its own, stamped with `now` ("Zelvar2.ini.20261207-231500.bak", then
// "-2", "-3"… for more in the same second), and so is the picture when the project brings
// its own; only the KeptBackups newest of each are kept. A project comes from another
// computer: `keptPort`, when given, is written in place of the project's port and speed.
struct Port
{
    QString name;
    QString speed;
};
Result importFrom(const QString &source, const QDateTime &now = QDateTime::currentDateTime(),
                  const std::optional<Port> &keptPort = std::nullopt);

// The backups an import kept of `path`, oldest first.
QStringList backupsOf(const QString &path);

} // namespace ProjectFile

} // namespace zelvar
