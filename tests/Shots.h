#pragma once

#include <QDir>
#include <QWidget>

// Saves a window's picture as NAME.png into the folder named by ZELVAR_SHOTS, when it is
// set, so a person can look at what a test showed.
inline void saveShot(QWidget &widget, const QString &name)
{
    const QByteArray dir = qgetenv("ZELVAR_SHOTS");
    if (!dir.isEmpty())
        widget.grab().save(QDir(QString::fromLocal8Bit(dir)).filePath(name + ".png"));
}
