#include "scheduler/SchedulePlace.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

namespace zelvar {

namespace {

// `shown` is the text as the user gave it, for the messages; `decimal` the same with a dot.
std::optional<double> readDecimal(const QString &shown, const QString &decimal, double limit,
                                  const QString &notANumber, QString *error)
{
    static const QRegularExpression pattern(QStringLiteral(R"(^[+-]?[0-9]+(\.[0-9]+)?$)"));
    if (decimal.size() > MaxCoordinateLength || !pattern.match(decimal).hasMatch()) {
        *error = QStringLiteral("« %1 » ").arg(shown.left(MaxCoordinateLength)) + notANumber;
        return std::nullopt;
    }
    const double value = QLocale::c().toDouble(decimal);
    if (value < -limit || value > limit) {
        *error = QStringLiteral("« %1 » n'est pas entre -%2 et %2").arg(shown, coordinateText(limit));
        return std::nullopt;
    }
    return value;
}

} // namespace

QString coordinateText(double value)
{
    return QString::number(value, 'f', QLocale::FloatingPointShortest);
}

std::optional<double> readCoordinate(const QString &text, double limit, QString *error)
{
    const QString trimmed = text.trimmed();
    return readDecimal(trimmed, trimmed, limit, QStringLiteral("n'est pas un nombre décimal à point (par exemple 48.8566)"), error);
}

std::optional<double> readTypedCoordinate(const QString &text, double limit, QString *error)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        *error = QStringLiteral("aucune valeur (des degrés décimaux, par exemple 48,8566)");
        return std::nullopt;
    }
    QString decimal = trimmed;
    decimal.replace(QLatin1Char(','), QLatin1Char('.'));
    return readDecimal(trimmed, decimal, limit, QStringLiteral("n'est pas un nombre décimal (par exemple 48,8566)"),
                       error);
}

std::optional<GeoPlace> readPlace(const ProfileFile &file, QString *error)
{
    const bool hasLatitude = file.hasKey(PlaceKeys::section(), PlaceKeys::latitude());
    const bool hasLongitude = file.hasKey(PlaceKeys::section(), PlaceKeys::longitude());
    if (!hasLatitude && !hasLongitude)
        return std::nullopt;
    // Both keys left empty: the place was taken away.
    if (file.readString(PlaceKeys::section(), PlaceKeys::latitude(), QString()).trimmed().isEmpty()
        && file.readString(PlaceKeys::section(), PlaceKeys::longitude(), QString()).trimmed().isEmpty())
        return std::nullopt;
    GeoPlace place;
    const struct
    {
        QString key;
        bool present;
        double limit;
        double *value;
    } coordinates[] = {{PlaceKeys::latitude(), hasLatitude, 90, &place.latitude},
                       {PlaceKeys::longitude(), hasLongitude, 180, &place.longitude}};
    for (const auto &c : coordinates) {
        const QString where = QStringLiteral("[%1] %2").arg(PlaceKeys::section(), c.key);
        if (!c.present) {
            *error = where + QStringLiteral(" manque");
            return std::nullopt;
        }
        QString why;
        const std::optional<double> value =
            readCoordinate(file.readString(PlaceKeys::section(), c.key, QString()), c.limit, &why);
        if (!value) {
            *error = where + QStringLiteral(" : ") + why;
            return std::nullopt;
        }
        *c.value = *value;
    }
    return place;
}

void writePlace(ProfileFile &file, const std::optional<GeoPlace> &place)
{
    if (!place && !file.hasKey(PlaceKeys::section(), PlaceKeys::latitude())
        && !file.hasKey(PlaceKeys::section(), PlaceKeys::longitude()))
        return;
    file.writeString(PlaceKeys::section(), PlaceKeys::latitude(), place ? coordinateText(place->latitude) : QString());
    file.writeString(PlaceKeys::section(), PlaceKeys::longitude(), place ? coordinateText(place->longitude) : QString());
}

PlaceSaveResult savePlace(const QString &path, const std::optional<GeoPlace> &place)
{
    PlaceSaveResult result;
    const QString shown = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    ProfileFile file = ProfileFile::load(path);
    if (file.unreadable()) {
        result.error = QStringLiteral("Le fichier %1 existe mais ne peut pas être lu (%2) : il n'a pas été modifié.")
                           .arg(shown, file.readError());
        return result;
    }
    writePlace(file, place);
    const ProfileFile::SaveResult saved = file.save(path);
    if (!saved.ok) {
        result.error = QStringLiteral("Le lieu n'a pas pu être enregistré dans %1 (%2). Le fichier est resté tel qu'il était.")
                           .arg(shown, saved.error);
        return result;
    }
    result.ok = true;
    return result;
}

} // namespace zelvar
