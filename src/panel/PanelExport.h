#pragma once

#include <QString>

namespace zelvar {

struct PanelExportResult
{
    bool ok = false;
    bool lossy = false;          // a character the code page cannot hold became "?"
    QString picturePath;         // where the picture went, empty when there was none to write
    QString error;               // for the user, when !ok
};

// The picture that goes with a configuration file saved elsewhere: same name, ".bmp".
QString picturePathBeside(const QString &configurationPath);

// Writes the panel configuration found at `configPath` (with its picture) to `target`, as the
// layout editor's save would write it right after loading: the editor's lists, the program's
// settings, the picture beside the target when the editor would have loaded one.
// Refuses, writing nothing, a target whose picture would be the target itself or that would
// replace one of the panel's own files, and a configuration that may not be saved
// (PanelConfig::saveRefusal). The picture is written before the project file.
PanelExportResult exportPanel(const QString &configPath, const QString &picturePath, const QString &target);

} // namespace zelvar
