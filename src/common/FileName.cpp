#include "common/FileName.h"

#include <QStringDecoder>

namespace zelvar {

namespace {

constexpr char16_t EscapeBase = 0xDC00;

bool isEscape(QChar c)
{
    return c.unicode() >= 0xDC80 && c.unicode() <= 0xDCFF;
}

} // namespace

QString decodeFileName(const QByteArray &name)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(name);
    if (!utf8.hasError())
        return text;
    text.clear();
    text.reserve(name.size());
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        text += byte < 0x80 ? QChar(char16_t(byte)) : QChar(char16_t(EscapeBase + byte));
    }
    return text;
}

QByteArray encodeFileName(const QString &name)
{
    if (!isEscapedFileName(name))
        return name.toUtf8();
    // The folders around the name may hold UTF-8 of their own: each run between escapes
    // is encoded as such.
    QByteArray bytes;
    bytes.reserve(name.size());
    qsizetype run = 0;
    for (qsizetype i = 0; i <= name.size(); ++i) {
        if (i < name.size() && !isEscape(name[i]))
            continue;
        bytes += QStringView(name).mid(run, i - run).toUtf8();
        if (i < name.size())
            bytes += char(name[i].unicode() - EscapeBase);
        run = i + 1;
    }
    return bytes;
}

bool isEscapedFileName(const QString &name)
{
    for (const QChar c : name)
        if (isEscape(c))
            return true;
    return false;
}

} // namespace zelvar
