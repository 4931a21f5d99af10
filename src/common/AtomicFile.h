#pragma once

#include <QByteArray>
#include <QString>

namespace zelvar {

// Replaces `path` with `bytes` through a temporary file in the same folder, flushed and
// renamed: the old file stays whole until the new one is complete. On failure *error gets
// the system's reason and nothing is changed.
bool writeFileAtomically(const QString &path, const QByteArray &bytes, QString *error = nullptr);

} // namespace zelvar
