#pragma once

#include <QByteArray>
#include <QString>

namespace zelvar {

// Replaces `path` with `bytes` through a temporary file in the same folder: every write and
// the flush to disk are checked before the rename, so the old file stays whole until the new
// one is complete. The new file keeps the permissions of the one it replaces (a new one gets
// the umask's), and its temporary is readable by the user alone until then; a symbolic link
// keeps pointing at the file it names, which is the one replaced, unless it is another user's
// link in a sticky folder anyone may write to, which is refused. On failure *error gets the
// reason (the system's, in the user's language) and nothing is changed.
//
// The temporary is named ".<name>.zlv-XXXXXX" (the name shortened when the whole would not
// fit the file system's limit), a name only this writer makes. A save killed half-way leaves
// it behind; each save removes those of the same file that are the user's, plain files and
// older than ten minutes (a younger one may belong to a save still running).
bool writeFileAtomically(const QString &path, const QByteArray &bytes, QString *error = nullptr);

} // namespace zelvar
