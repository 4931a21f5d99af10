#pragma once

#include "scheduler/SunTimes.h"

#include <QDate>
#include <QString>
#include <QWidget>

#include <optional>

class QLabel;
class QLineEdit;

namespace zelvar {

// The page "Lieu" of the general settings: the place of the sun's times. It shows the place
// of Programateur.ini when it opens and writes the place typed into that file alone, at
// once, when applied; the sun's times of the day at the place typed are shown beside it.
class PlacePage : public QWidget
{
    Q_OBJECT

public:
    explicit PlacePage(QWidget *parent = nullptr);

    QLineEdit *Edit_Latitude = nullptr;
    QLineEdit *Edit_Longitude = nullptr;
    QLabel *Label_Soleil = nullptr;  // the day's sunrise and sunset, or why there are none
    QLabel *Label_Fichier = nullptr; // what keeps the file's place from being shown or kept

    // True once the user typed, until the place is written.
    bool changed() const { return m_changed; }

    // Writes the place typed; false with the reason, for the user, when nothing was written.
    bool apply(QString *error);

    // The day whose sunrise and sunset are shown: today unless a test says otherwise.
    void setDay(const QDate &day);

signals:
    void edited();

private:
    void readFile();
    std::optional<GeoPlace> typedPlace(QString *error) const;
    void showSun();

    QDate m_day = QDate::currentDate();
    bool m_changed = false;
};

} // namespace zelvar
