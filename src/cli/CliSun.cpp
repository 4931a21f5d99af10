#include "cli/CliCommands.h"

#include "scheduler/ScheduleFile.h"
#include "scheduler/SchedulePlace.h"
#include "scheduler/SunTimes.h"

#include <QCommandLineParser>

namespace zelvar::cli {

namespace {

constexpr int FileError = 1;

QString timeText(const std::optional<QDateTime> &t)
{
    return t->toString(QStringLiteral("hh:mm:ss"));
}

// "05:47:12", "00:03:40 (le 2026-06-22)" for an event after the day's midnight, or why there is none.
QString eventText(const std::optional<QDateTime> &t, const QDate &day)
{
    if (!t)
        return QStringLiteral("aucun (le soleil ne passe pas l'horizon ce jour-là)");
    if (t->date() == day)
        return timeText(t);
    return timeText(t) + QStringLiteral(" (le ") + t->date().toString(Qt::ISODate) + QStringLiteral(")");
}

// The JSON form is the one documented, key for key; every value is the program's own text.
QString jsonValue(const std::optional<QDateTime> &t)
{
    return t ? QLatin1Char('"') + timeText(t) + QLatin1Char('"') : QStringLiteral("null");
}

} // namespace

int runSun(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Affiche le lever et le coucher du soleil d'un jour (aujourd'hui par défaut) en heure locale, au lieu "
        "donné par --lat et --lon ou, sans eux, au lieu de Programateur.ini (clés Latitude et Longitude de la "
        "section [Programateur], en degrés décimaux avec un point). Les heures sont celles des éphémérides "
        "(bord supérieur du soleil à l'horizon, réfraction comprise), à la minute près jusqu'à 65° de latitude ; "
        "un jour de soleil de minuit ou de nuit polaire n'a pas de lever ou pas de coucher."));
    parser.addPositionalArgument(QStringLiteral("DATE"), QStringLiteral("AAAA-MM-JJ, aujourd'hui par défaut."),
                                 QStringLiteral("[AAAA-MM-JJ]"));
    const QCommandLineOption latitudeOption(QStringLiteral("lat"),
                                            QStringLiteral("Latitude en degrés, nord positif (-90 à 90)."),
                                            QStringLiteral("L"));
    const QCommandLineOption longitudeOption(QStringLiteral("lon"),
                                             QStringLiteral("Longitude en degrés, est positif (-180 à 180)."),
                                             QStringLiteral("L"));
    const QCommandLineOption jsonOption(
        QStringLiteral("json"), QStringLiteral("Un objet JSON : date, sunrise et sunset (\"hh:mm:ss\", ou null)."));
    parser.addOptions({latitudeOption, longitudeOption, jsonOption});
    int status = 0;
    if (!parseCommand(parser, arguments, &status,
                      QStringLiteral("\nCode de sortie : 0 affiché, 1 Programateur.ini illisible ou son lieu "
                                     "invalide, 64 usage (date ou lieu invalide, aucun lieu).\n")))
        return status;

    const QStringList args = parser.positionalArguments();
    if (args.size() > 1) {
        err() << "zelvar-cli sun : une seule date attendue (AAAA-MM-JJ)\n";
        return UsageError;
    }
    const std::optional<QDate> readDate = args.isEmpty() ? QDate::currentDate() : readDateArgument(QStringLiteral("sun"), args[0]);
    if (!readDate)
        return UsageError;
    const QDate date = *readDate;

    GeoPlace place;
    if (parser.isSet(latitudeOption) || parser.isSet(longitudeOption)) {
        if (!parser.isSet(latitudeOption) || !parser.isSet(longitudeOption)) {
            err() << "zelvar-cli sun : --lat et --lon vont ensemble\n";
            return UsageError;
        }
        QString why;
        const std::optional<double> latitude = readCoordinate(parser.value(latitudeOption), 90, &why);
        const std::optional<double> longitude =
            latitude ? readCoordinate(parser.value(longitudeOption), 180, &why) : std::nullopt;
        if (!longitude) {
            err() << "zelvar-cli sun : " << (latitude ? "--lon" : "--lat") << " : " << why << "\n";
            return UsageError;
        }
        place = {*latitude, *longitude};
    } else {
        const ProfileFile file = ProfileFile::load(ScheduleFiles::path());
        if (file.unreadable()) {
            err() << ScheduleFiles::path() << " : illisible (" << file.readError() << ")\n";
            return FileError;
        }
        QString why;
        const std::optional<GeoPlace> saved = readPlace(file, &why);
        if (!why.isEmpty()) {
            err() << ScheduleFiles::path() << " : " << why << "\n";
            return FileError;
        }
        if (!saved) {
            err() << "zelvar-cli sun : aucun lieu : donner --lat et --lon, ou Latitude et Longitude dans la "
                     "section [Programateur] de Programateur.ini\n";
            return UsageError;
        }
        place = *saved;
    }

    const SunTimes sun(date, place);
    if (parser.isSet(jsonOption)) {
        out() << "{\"date\": \"" << date.toString(Qt::ISODate) << "\", \"sunrise\": " << jsonValue(sun.sunrise())
              << ", \"sunset\": " << jsonValue(sun.sunset()) << "}\n";
        return 0;
    }
    out() << "Le " << date.toString(Qt::ISODate) << " à " << coordinateText(place.latitude) << ", "
          << coordinateText(place.longitude)
          << " (fuseau " << QString::fromUtf8(QTimeZone::systemTimeZoneId()) << ") :\n"
          << "  lever du soleil    " << eventText(sun.sunrise(), date) << "\n"
          << "  coucher du soleil  " << eventText(sun.sunset(), date) << "\n";
    return 0;
}

} // namespace zelvar::cli
