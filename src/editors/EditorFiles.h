#pragma once

#include "panel/PanelConfig.h"

#include <QImage>
#include <QString>
#include <optional>

namespace zelvar {

// What the layout editor learnt about the panel file when it loaded it. A save over a file
// the editor could not read, or over a panel it only got part of, would destroy what it
// never saw.
struct EditorFileStatus
{
    bool unreadable = false; // the file is there but could not be read
    bool truncated = false;  // the file lists more buttons or texts than were loaded
    QString reason = {};     // why it could not be read, as the system says
};

// Why a save must not go ahead, for the user; nothing when it may.
std::optional<QString> saveRefusal(const EditorFileStatus &status);

struct EditorPanel
{
    PanelConfig config;   // the button and text lists, and the program's settings read too
    QImage picture;       // null when there is no readable picture
    EditorFileStatus status;
};

// The layout editor's load: the editor's reader, the texts also when the file has no
// button, and the picture whenever it can be read.
EditorPanel loadEditorPanel(const QString &configPath, const QString &picturePath);

struct EditorSaveResult
{
    bool ok = false;
    QString file;  // the file that could not be written
    QString error; // the system's reason
};

// Writes the picture (when there is one), then the panel file, each replaced as a whole:
// a failure leaves every file as it was before the save, or as it was after the previous
// complete step.
EditorSaveResult saveEditorPanel(const PanelConfig &config, const QImage &picture,
                                 const QString &configPath, const QString &picturePath);

// One version of a file on disk: a file rewritten, replaced, created or removed gets another
// stamp, so the editor can tell that another program saved the picture it shows.
struct FileStamp
{
    bool exists = false;
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    bool operator==(const FileStamp &) const = default;
};

FileStamp fileStamp(const QString &path);

// Whether two pictures show the same pixels, whatever their formats in memory.
bool samePicture(const QImage &a, const QImage &b);

} // namespace zelvar
