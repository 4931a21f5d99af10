#pragma once

// Reads the call log of the fake transmitter driver library. One line per call:
//   UUIRTOpen <handle>
//   UUIRTTransmitIR <handle> <codeFormat> <repeatCount> <inactivityWaitTime> <hEvent> <reserved0> <reserved1> <code>
// pointers as decimal numbers, the code last with '\' and newline escaped, or "(null)"
// for a null code pointer.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#include <vector>

namespace zelvar::testing {

struct FakeUuirtCall
{
    QByteArray function;
    quint64 handle = 0;
    int codeFormat = -1;
    int repeatCount = -1;
    int inactivityWaitTime = -1;
    quint64 hEvent = 0;
    quint64 reserved0 = 0;
    quint64 reserved1 = 0;
    QByteArray code;
    bool nullCode = false;
};

inline QByteArray unescapeFakeUuirtCode(const QByteArray &text)
{
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            ++i;
            out += text[i] == 'n' ? '\n' : text[i];
        } else {
            out += text[i];
        }
    }
    return out;
}

inline std::vector<FakeUuirtCall> readFakeUuirtLog(const QString &path)
{
    std::vector<FakeUuirtCall> calls;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return calls;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.isEmpty())
            continue;
        FakeUuirtCall call;
        const QList<QByteArray> fields = line.split(' ');
        call.function = fields.value(0);
        call.handle = fields.value(1).toULongLong();
        if (call.function == "UUIRTTransmitIR" && fields.size() >= 8) {
            call.codeFormat = fields[2].toInt();
            call.repeatCount = fields[3].toInt();
            call.inactivityWaitTime = fields[4].toInt();
            call.hEvent = fields[5].toULongLong();
            call.reserved0 = fields[6].toULongLong();
            call.reserved1 = fields[7].toULongLong();
            // The code is everything after the eighth separator, blanks included.
            qsizetype start = 0;
            for (int separators = 0; separators < 8; ++separators)
                start = line.indexOf(' ', start) + 1;
            const QByteArray code = line.mid(start);
            call.nullCode = code == "(null)";
            call.code = call.nullCode ? QByteArray() : unescapeFakeUuirtCode(code);
        }
        calls.push_back(std::move(call));
    }
    return calls;
}

} // namespace zelvar::testing
