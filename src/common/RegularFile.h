#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace zelvar {

// No file the program keeps comes near this size; a larger one is not read.
constexpr qint64 MaxReadFileBytes = 16 * 1024 * 1024;

struct FileReadFailure
{
    bool missing = false; // there is nothing under that name (a dangling link included)
    QString reason;       // why the file is not read, for the user; empty when missing
};

// Reads a whole file, but only a plain file (through symbolic links) of at most `maxBytes`:
// a folder, a pipe or a device is refused before it is opened, so nothing waits on a pipe
// with no writer or reads an endless device.
std::optional<QByteArray> readRegularFile(const QString &path, FileReadFailure *failure = nullptr,
                                          qint64 maxBytes = MaxReadFileBytes);

} // namespace zelvar
