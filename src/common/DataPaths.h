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

} // namespace zelvar
