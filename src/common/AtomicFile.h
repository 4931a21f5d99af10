#pragma once

#include <QByteArray>
#include <QString>

namespace zelvar {

// Replaces `path` with `bytes` through a temporary file in the same folder, flushed and
// renamed: the old file stays whole until the new one is complete. On failure *error gets
// the system's reason and nothing is changed.
//
// A save killed half-way leaves its temporary ("Zelvar2.ini.AbCdEf") behind; each save
// removes those of the same file that are older than ten minutes (a younger one may belong
// to a save still running).
bool writeFileAtomically(const QString &path, const QByteArray &bytes, QString *error = nullptr);

// Whether `fileName` has the shape of a temporary the writer makes for `target`: the
// target's name, a dot and six random letters. Six letters that read as a word a person
// would choose ("backup", "OLDONE", "Before") are not taken for ours.
bool isWriterTemporaryName(const QString &fileName, const QString &target);

} // namespace zelvar
