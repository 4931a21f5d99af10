#include "scheduler/SchedulePlace.h"

#include <QLocale>
#include <QRegularExpression>

namespace zelvar {

namespace {

constexpr qsizetype MaxCoordinateLength = 32;

} // namespace

QString coordinateText(double value)
{
    return QString::number(value, 'f', QLocale::FloatingPointShortest);
}

std::optional<double> readCoordinate(const QString &text, double limit, QString *error)
{
    static const QRegularExpression decimal(QStringLiteral(R"(^[+-]?[0-9]+(\.[0-9]+)?$)"));
    const QString trimmed = text.trimmed();
    if (trimmed.size() > MaxCoordinateLength || !decimal.match(trimmed).hasMatch()) {
        *error = QStringLiteral("« %1 » n'est pas un nombre décimal à point (par exemple 48.8566)")
                     .arg(trimmed.left(MaxCoordinateLength));
        return std::nullopt;
    }
    const double value = QLocale::c().toDouble(trimmed);
    if (value < -limit || value > limit) {
        *error = QStringLiteral("« %1 » n'est pas entre -%2 et %2").arg(trimmed, coordinateText(limit));
        return std::nullopt;
    }
    return value;
}

std::optional<GeoPlace> readPlace(const ProfileFile &file, QString *error)
{
    const bool hasLatitude = file.hasKey(PlaceKeys::section(), PlaceKeys::latitude());
    const bool hasLongitude = file.hasKey(PlaceKeys::section(), PlaceKeys::longitude());
    if (!hasLatitude && !hasLongitude)
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

void writePlace(ProfileFile &file, const GeoPlace &place)
{
    file.writeString(PlaceKeys::section(), PlaceKeys::latitude(), coordinateText(place.latitude));
    file.writeString(PlaceKeys::section(), PlaceKeys::longitude(), coordinateText(place.longitude));
}

} // namespace zelvar
