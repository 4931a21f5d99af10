#include "widgets/Fonts.h"

#include <QFile>
#include <QFontDatabase>

namespace zelvar {

namespace {

const char WineTahoma[] = "/usr/share/wine/fonts/tahoma.ttf";

QString findFamily()
{
    if (QFontDatabase::hasFamily(QStringLiteral("Tahoma")))
        return QStringLiteral("Tahoma");
    if (QFile::exists(QString::fromLatin1(WineTahoma))) {
        const int id = QFontDatabase::addApplicationFont(QString::fromLatin1(WineTahoma));
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        if (!families.isEmpty())
            return families.first();
    }
    return QStringLiteral("DejaVu Sans");
}

} // namespace

QString uiFontFamily()
{
    static const QString family = findFamily();
    return family;
}

QFont uiFont(int pixelHeight)
{
    QFont font(uiFontFamily());
    font.setPixelSize(pixelHeight);
    return font;
}

} // namespace zelvar
