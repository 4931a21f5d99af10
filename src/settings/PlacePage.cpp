#include "settings/PlacePage.h"

#include "scheduler/ScheduleFile.h"
#include "scheduler/SchedulePlace.h"
#include "settings/PagesDlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QTimeZone>

namespace zelvar {

namespace {

struct Coordinate
{
    QString name;
    double limit;
};

const Coordinate Latitude = {QStringLiteral("Latitude"), 90};
const Coordinate Longitude = {QStringLiteral("Longitude"), 180};

QLineEdit *makeEdit(QWidget *parent, int top)
{
    auto *edit = new QLineEdit(parent);
    edit->setGeometry(130, top, 100, 21);
    edit->setMaxLength(int(MaxCoordinateLength));
    return edit;
}

QLabel *makeNote(QWidget *parent, int top, int height)
{
    QLabel *label = pagesLabel(parent, QString(), 40, top);
    label->setGeometry(40, top, 440, height);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

// "07:42", or "00:04 (le 22/06)" for an event that falls on another date than the day's.
QString eventText(const QDateTime &t, const QDate &day)
{
    QString text = t.toString(QStringLiteral("hh:mm"));
    if (t.date() != day)
        text += QStringLiteral(" (le %1)").arg(t.date().toString(QStringLiteral("dd/MM")));
    return text;
}

} // namespace

PlacePage::PlacePage(QWidget *parent) : QWidget(parent)
{
    pagesLabel(this, QStringLiteral("Lieu du lever et du coucher du soleil"), 66, 42);
    pagesLabel(this, Latitude.name, 40, 82);
    Edit_Latitude = makeEdit(this, 78);
    pagesLabel(this, QStringLiteral("degrés nord (négatif au sud)"), 240, 82);
    pagesLabel(this, Longitude.name, 40, 116);
    Edit_Longitude = makeEdit(this, 112);
    pagesLabel(this, QStringLiteral("degrés est (négatif à l'ouest)"), 240, 116);
    for (QLineEdit *edit : {Edit_Latitude, Edit_Longitude})
        edit->setToolTip(QStringLiteral("En degrés décimaux, avec une virgule ou un point : 48,8566"));
    Label_Soleil = makeNote(this, 156, 60);
    Label_Fichier = makeNote(this, 230, 90);
    QPalette palette = Label_Fichier->palette();
    palette.setColor(QPalette::WindowText, QColor(128, 0, 0));
    Label_Fichier->setPalette(palette);

    readFile();
    showSun();

    for (QLineEdit *edit : {Edit_Latitude, Edit_Longitude}) {
        connect(edit, &QLineEdit::textEdited, this, [this] {
            m_changed = true;
            showSun();
            emit edited();
        });
    }
}

void PlacePage::setDay(const QDate &day)
{
    m_day = day;
    showSun();
}

void PlacePage::readFile()
{
    const QString path = ScheduleFiles::path();
    const ProfileFile file = ProfileFile::load(path);
    if (file.unreadable()) {
        Label_Fichier->setText(QStringLiteral("%1 ne peut pas être lu (%2) : le lieu ne pourra pas y être enregistré.")
                                   .arg(path, file.readError()));
        return;
    }
    QString why;
    const std::optional<GeoPlace> place = readPlace(file, &why);
    if (!why.isEmpty()) {
        Label_Fichier->setText(QStringLiteral("Le lieu de %1 ne peut pas être lu (%2) : le lieu donné ici le remplacera.")
                                   .arg(path, why));
        // Shown as stored, so that only the faulty value needs typing again.
        Edit_Latitude->setText(file.readString(PlaceKeys::section(), PlaceKeys::latitude(), QString()).trimmed());
        Edit_Longitude->setText(file.readString(PlaceKeys::section(), PlaceKeys::longitude(), QString()).trimmed());
        return;
    }
    if (place) {
        Edit_Latitude->setText(coordinateText(place->latitude));
        Edit_Longitude->setText(coordinateText(place->longitude));
    }
}

std::optional<GeoPlace> PlacePage::typedPlace(QString *error) const
{
    const std::pair<const Coordinate &, QLineEdit *> fields[] = {{Latitude, Edit_Latitude},
                                                                 {Longitude, Edit_Longitude}};
    double values[2] = {};
    for (int i = 0; i < 2; ++i) {
        const auto &[coordinate, edit] = fields[i];
        QString why;
        const std::optional<double> value = readTypedCoordinate(edit->text(), coordinate.limit, &why);
        if (!value) {
            *error = QStringLiteral("%1 : %2").arg(coordinate.name, why);
            return std::nullopt;
        }
        values[i] = *value;
    }
    return GeoPlace{values[0], values[1]};
}

void PlacePage::showSun()
{
    if (Edit_Latitude->text().trimmed().isEmpty() && Edit_Longitude->text().trimmed().isEmpty()) {
        Label_Soleil->setText(QStringLiteral("Donnez la latitude et la longitude du lieu pour voir "
                                             "le lever et le coucher du soleil."));
        return;
    }
    QString error;
    const std::optional<GeoPlace> place = typedPlace(&error);
    if (!place) {
        Label_Soleil->setText(error);
        return;
    }
    const SunTimes sun(m_day, *place);
    const QString rises = QStringLiteral("Le soleil ne se lève pas ce jour-là");
    const QString sets = QStringLiteral("Le soleil ne se couche pas ce jour-là");
    const QString day = QLocale(QLocale::French).toString(m_day, QStringLiteral("d MMMM yyyy"));
    QStringList lines = {
        QStringLiteral("Le %1 (fuseau %2) :").arg(day, QString::fromUtf8(QTimeZone::systemTimeZoneId()))};
    if (!sun.sunrise() && !sun.sunset()) {
        lines << (sun.upAllDay() ? sets : rises);
    } else {
        lines << (sun.sunrise() ? QStringLiteral("Lever du soleil : ") + eventText(*sun.sunrise(), m_day) : rises)
              << (sun.sunset() ? QStringLiteral("Coucher du soleil : ") + eventText(*sun.sunset(), m_day) : sets);
    }
    Label_Soleil->setText(lines.join(QLatin1Char('\n')));
}

bool PlacePage::apply(QString *error)
{
    // Both fields emptied: the place is taken away, and sun rows wait for a new one.
    const bool cleared = Edit_Latitude->text().trimmed().isEmpty() && Edit_Longitude->text().trimmed().isEmpty();
    QString why;
    const std::optional<GeoPlace> place = cleared ? std::nullopt : typedPlace(&why);
    if (!place && !cleared) {
        *error = why + QStringLiteral(". Le lieu n'a pas été enregistré.");
        return false;
    }
    const PlaceSaveResult saved = savePlace(ScheduleFiles::path(), place);
    if (!saved.ok) {
        *error = saved.error;
        return false;
    }
    m_changed = false;
    Label_Fichier->clear();
    return true;
}

} // namespace zelvar
