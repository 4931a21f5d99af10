#include "cli/CliFiring.h"

#include "common/ProfileFile.h"

#include <QStringList>

namespace zelvar::cli {

QString sentText(const ButtonEntry &entry)
{
    QStringList sent;
    for (const QByteArray &command : {entry.pressCommand, entry.releaseCommand, entry.clickCommand})
        if (!command.isEmpty())
            sent << decodeWindows1252(command);
    return sent.join(QStringLiteral(", "));
}

bool writesToSerialLine(const ButtonEntry &entry)
{
    return entry.mode != UsbUirt && !sentText(entry).isEmpty();
}

} // namespace zelvar::cli
