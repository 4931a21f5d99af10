// The panel's picture: kept apart from the file model, since it needs Qt's GUI module.
#include "panel/PanelConfig.h"

#include "common/AtomicFile.h"
#include "common/RegularFile.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

namespace zelvar {

QImage readPicture(const QString &path, QString *error)
{
    // A pipe or a device under the picture's name would hang the reader or never end.
    FileReadFailure failure;
    std::optional<QByteArray> bytes = readRegularFile(path, &failure);
    if (!bytes && !failure.missing) {
        if (error)
            *error = failure.reason;
        return {};
    }
    QBuffer buffer(bytes ? &*bytes : nullptr);
    QImageReader reader;
    if (bytes) {
        buffer.open(QIODevice::ReadOnly);
        reader.setDevice(&buffer);
    } else {
        reader.setFileName(path); // missing: the reader says so in its own words, as before
    }
    const QImage picture = reader.read();
    if (picture.isNull() && error)
        *error = reader.errorString();
    return picture;
}

QImage loadPanelPicture(const QString &path)
{
    return readPicture(path);
}

bool savePanelPicture(const QImage &picture, const QString &path, QString *error)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "bmp");
    if (!writer.write(picture)) {
        if (error)
            *error = writer.errorString();
        return false;
    }
    // A file that already holds exactly this picture costs no second flush to disk.
    QFile current(path);
    if (current.size() == bytes.size() && current.open(QIODevice::ReadOnly) && current.readAll() == bytes)
        return true;
    return writeFileAtomically(path, bytes, error);
}

} // namespace zelvar
