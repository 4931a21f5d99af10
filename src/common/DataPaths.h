#pragma once

#include <QString>

namespace zelvar {

// The folder of the running program (/usr/bin when installed).
QString executableDir();

// A file or folder the program ships beside itself, under share/: `relative` is looked for in
// ../share, ../../share and ../../../share from the program's folder, so the installed layout
// (/usr/bin beside /usr/share) and the build tree (which mirrors it in <build>/share) are found
// the same way, with no path of the build machine compiled in. Empty when nowhere.
QString sharedDataPath(const QString &relative);

// The README installed with the program: its manual and "web site". Empty when missing.
QString readmePath();

// The folder the background service works in, which the program started from the desktop
// shares with it: $XDG_DATA_HOME/zelvar, that is ~/.local/share/zelvar.
QString serviceFolder();
// Makes serviceFolder() the working directory, creating it when missing (mode 0700, as the
// folders above it may be shared). False with the system's reason when it cannot.
bool enterServiceFolder(QString *error);

// Where what the program remembers between runs, but the user never edits, is kept:
// $XDG_STATE_HOME/zelvar, that is ~/.local/state/zelvar. Not created here.
QString stateFolder();

} // namespace zelvar
