// The panel's picture: kept apart from the file model, since it needs Qt's GUI module.
#include "panel/PanelConfig.h"

#include "common/AtomicFile.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

namespace zelvar {

QImage readPicture(const QString &path, QString *error)
{
    QImageReader reader(path);
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
