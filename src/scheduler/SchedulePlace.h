#pragma once

#include "common/ProfileFile.h"
#include "scheduler/SunTimes.h"

#include <QString>

#include <optional>

namespace zelvar {

// The place of the sun's times, kept in the "Programateur" section of Programateur.ini as
// "Latitude" and "Longitude": decimal degrees with a dot, north and east positive.
namespace PlaceKeys {
inline QString section() { return QStringLiteral("Programateur"); }
inline QString latitude() { return QStringLiteral("Latitude"); }
inline QString longitude() { return QStringLiteral("Longitude"); }
} // namespace PlaceKeys

// The longest coordinate text read; a longer one is refused.
constexpr qsizetype MaxCoordinateLength = 32;

// A coordinate as the user types it: an optional sign, digits, an optional dot and
// decimals ("48.8566", "-0.5"), blanks around it ignored, within -limit..limit. Empty
// otherwise, with *error saying why in French (without naming the value's key).
std::optional<double> readCoordinate(const QString &text, double limit, QString *error);

// A coordinate typed in a window, where a French keyboard gives a decimal comma: as
// readCoordinate, with a comma read as the decimal point and an empty text refused.
std::optional<double> readTypedCoordinate(const QString &text, double limit, QString *error);

// A coordinate as it is written: the shortest decimal text that reads back the same, with a dot.
QString coordinateText(double value);

// The file's place. Empty without error when the file has neither key, or both empty (a
// place taken away); empty with *error naming the key when one is missing or cannot be read.
std::optional<GeoPlace> readPlace(const ProfileFile &file, QString *error);

// Sets both keys, leaving the rest of the file as it is; no place empties them (a file that
// never had a place stays without the keys).
void writePlace(ProfileFile &file, const std::optional<GeoPlace> &place);

struct PlaceSaveResult
{
    bool ok = false;
    QString error; // in French, for the user, when nothing was written
};

// Sets (or takes away) the place in the file at `path` and nothing else: every other line stays as it was,
// a missing file is created, and the file is replaced atomically. A file that exists but
// cannot be read is left alone, since writing it would lose its rows.
PlaceSaveResult savePlace(const QString &path, const std::optional<GeoPlace> &place);

} // namespace zelvar
