#pragma once

#include <QString>

namespace zelvar {

struct PortSettingsSaveResult
{
    bool ok = false;
    QString error; // in French, for the user, when the save failed
};

// Writes the port name and speed into the "Reglages du Com" section of a panel file, in
// place: every other line stays as it was, a missing file is created, and the file is
// replaced atomically. A file that exists but cannot be read is left alone, since writing
// it would lose the whole panel.
PortSettingsSaveResult savePortSettings(const QString &path, const QString &portName,
                                        const QString &portSpeed);

// The port name a panel file holds; empty when the file or the key is missing or unreadable.
QString storedPortName(const QString &path);

} // namespace zelvar
