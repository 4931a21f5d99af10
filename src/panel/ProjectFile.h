#pragma once

#include "common/ProfileFile.h"

#include <QString>

namespace zelvar {

// Project files (".zel") carry a panel configuration in the layout of the panel file, with
// its picture beside them (same name, ".bmp").
namespace ProjectFile {

inline QString defaultName() { return QStringLiteral("RiroravaziZud.zel"); }
inline QString directory() { return QStringLiteral("zel"); }
// Where an import keeps the configuration it replaced.
inline QString backupSuffix() { return QStringLiteral(".bak"); }

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
// kept with the ".bak" suffix, and so is the picture when the project brings its own.
Result importFrom(const QString &source);

} // namespace ProjectFile

} // namespace zelvar
