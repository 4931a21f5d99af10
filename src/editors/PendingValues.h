#pragma once

#include <QByteArray>
#include <QString>

namespace zelvar {

// What the properties dialog has been given but not yet applied: the three texts its test
// button sends (on press, on release, on click), and the relay, mode, description and
// infrared code that "Appliquer" stores. They are kept from one opening of the dialog to
// the next.
struct PendingValues
{
    QByteArray first;
    QByteArray second;
    QByteArray third;
    int relay = 0;
    int mode = 0;
    QString description;
    QString prontoCode;

    static PendingValues &shared();

    // A mode chosen in the list (0 "Null" … 6 "Macros"): the relay is forgotten, and the
    // test texts become those of the mode on relay 0 ("Macros" keeps the mode).
    void modeChosen(int item);
    // A relay chosen in the list, 1..16 (0, "Off", changes nothing); the test texts follow
    // the pending mode. For an infrared button the click text is the code being typed.
    void relayChosen(int item, const QString &typedCode);
    // The test texts of a stored button: its mode on its relay, or its infrared code.
    void setCommandsFor(int mode, int relay, const QString &prontoCode);
};

} // namespace zelvar
