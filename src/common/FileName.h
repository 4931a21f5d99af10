#pragma once

#include <QByteArray>
#include <QString>

namespace zelvar {

// File names as the system holds them: bytes, usually UTF-8. A name that is not UTF-8 (a
// file copied from Windows holds Windows-1252 bytes) keeps each of its bytes from 0x80 up as
// the lone surrogate U+DC80 + (byte - 0x80), so that encoding it again gives back the very
// name and the file opens. Qt's own conversion turns such bytes into U+FFFD and loses them.
QString decodeFileName(const QByteArray &name);
QByteArray encodeFileName(const QString &name);
// Whether a name read with decodeFileName was not UTF-8.
bool isEscapedFileName(const QString &name);

} // namespace zelvar
