#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <gtest/gtest.h>

namespace zelvar::testing {

// The whole content of a file, empty when it cannot be read.
inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// A file of tests/data, written by hand.
inline QByteArray dataFile(const char *name)
{
    return readFile(QStringLiteral(ZELVAR_TEST_DATA "/") + QString::fromLatin1(name));
}

} // namespace zelvar::testing
