#pragma once

#include "common/ProfileFile.h"

#include <QString>
#include <QStringList>
#include <vector>

class QImage;

namespace zelvar {

// The files of the panel, relative to the working directory.
namespace PanelFiles {
inline QString config() { return QStringLiteral("Zelvar2.ini"); }
inline QString picture() { return QStringLiteral("Zelvar2.bmp"); }
inline QString factory() { return QStringLiteral("Default") + QStringLiteral(".ini"); }
} // namespace PanelFiles

// Section and key names of the panel file, blanks and letters exactly as they stand on disk.
namespace PanelKeys {
inline const QString Info = QStringLiteral("          Info");
inline const QString Settings = QStringLiteral("Reglages");
inline const QString ButtonCount = QStringLiteral("Nombre total de boutons");
inline const QString TextCount = QStringLiteral("Nombre total de Textes");
inline const QString ExitMenus = QStringLiteral("Activation des menus de sortie");
inline const QString ReduceToTray = QStringLiteral("Reduction dans la barre des taches");
inline const QString MoveMainWindow = QStringLiteral(u"Deplaçer la fenetre principale");
inline const QString Com = QStringLiteral("Reglages du Com");
inline const QString PortName = QStringLiteral(u"n° du Port ");
inline const QString PortSpeed = QStringLiteral("Vitesse du Port ");
inline const QString Separator = QStringLiteral("_");

inline const QString ButtonSection = QStringLiteral("Bouton ");
inline const QString Mode = QStringLiteral("Mode btn");
inline const QString Description = QStringLiteral("Description  btn");
inline const QString Left = QStringLiteral("Left btn");
inline const QString Top = QStringLiteral("Top  btn");
inline const QString Caption = QStringLiteral("Caption  btn");
inline const QString Shortcut = QStringLiteral("Raccourci btn");
inline const QString ShortcutName = QStringLiteral("Nom Raccourci btn");
inline const QString Relay = QStringLiteral("Code btn");
inline const QString Pronto = QStringLiteral("CodePronto btn");
inline const QString Id = QStringLiteral("Id btn");

inline const QString TextSection = QStringLiteral("Textes ");
inline const QString Text = QStringLiteral("Texte  ");
inline const QString TextLeft = QStringLiteral("Left Txt");
inline const QString TextTop = QStringLiteral("Top  Txt");

// Every key of a button or text section is its base directly followed by the number.
inline QString numbered(const QString &base, int k) { return base + QString::number(k); }
} // namespace PanelKeys

// The program-wide settings the panel file carries.
struct PanelSettings
{
    QString CurrentPortName = QStringLiteral("COM1");
    QString CurrentPortSpeed = QStringLiteral("9600");
    bool ExitMenusEnabled = true;
    bool ReduceToTray = true;
    bool MoveMainWindow = false;
};

// One button section, with the defaults of the reader that produced it.
struct ButtonConfig
{
    int mode = 0;
    int relay = 0;
    QString prontoCode = QStringLiteral("0");
    int left = 0;
    int top = 0;
    QString caption = QStringLiteral("vide");
    int shortcut = 0;
    QString shortcutName; // read by the layout editor only
    QString description;
    // What home automation and the web remote know the button by, whatever its place in the
    // list: kept in the file, so that deleting or moving a button never hands its id to another.
    QString id;
};

// A fresh id for a new button: eight hexadecimal digits, which never look like the ids
// given to the buttons of a file written before ids ("button<k>").
QString newButtonId();
// Whether `id` may name a button in a topic or a URL: 1 to 32 letters, digits, '_' or '-'.
bool isButtonId(const QString &id);

struct TextConfig
{
    QString text = QStringLiteral("0");
    int left = 0;
    int top = 0;
};

// Which of the three readers: each has its own defaults, keys and stop rules.
enum class PanelReader {
    Panel,   // the live panel's load: everything, and the picture
    Factory, // the factory layout: no picture, no "move main window" flag
    Editor,  // the layout editor: descriptions default "Description", Pronto code only for mode 5
};

struct PanelConfig
{
    PanelSettings settings;
    bool moveMainWindowRead = true; // false after a factory read, which leaves that flag alone
    std::vector<ButtonConfig> buttons; // buttons[0] is button 1
    std::vector<TextConfig> texts;
    // An editor list that never held an entry saves its count as -1, an emptied one as 0.
    bool buttonsEverHeld = false;
    bool textsEverHeld = false;
    // The load went as far as the picture (at least one button and one text).
    bool wantsPicture = false;
    // Counts in the file above the limits below were cut down; the messages say so.
    QStringList warnings;
    // The counts were cut: a save would lose the buttons or texts beyond the limits.
    bool cut = false;
    // The file exists but could not be read: the system's reason. Read as an empty panel.
    QString unreadable;

    // Why a save of this configuration, read from `path`, must be refused, for the user;
    // empty when it may be saved. Every writer of the panel file asks before writing.
    QString saveRefusal(const QString &path) const;
};

// The live panel's size and its buttons' size, in pixels.
constexpr int PanelWidth = 600;
constexpr int PanelHeight = 350;
constexpr int PanelButtonWidth = 75;
constexpr int PanelButtonHeight = 25;

// A panel is 600 by 350 pixels; these bounds only keep absurd files from exhausting memory.
constexpr int MaxPanelButtons = 4096;
constexpr int MaxPanelTexts = 4096;
// Positions are kept within what a window system can place.
constexpr int MaxCoordinate = 32767;

PanelConfig readPanelConfig(const ProfileFile &profile, PanelReader reader);
// Text section k, with the reader's defaults.
TextConfig readPanelText(const ProfileFile &profile, int k);

// The complete file as the layout editor saves it.
ProfileFile writePanelConfig(const PanelConfig &config);

// The picture functions need Qt's GUI module: they are in zelvar_core_gui (PanelPicture.cpp).

// Reads a picture in any format the program reads; a null image, and the reason, when it
// cannot.
QImage readPicture(const QString &path, QString *error = nullptr);
// Loads the background picture; a null image when missing or unreadable.
QImage loadPanelPicture(const QString &path);
// Saves the picture as a Windows bitmap, atomically (a file already holding exactly that
// picture is left alone). False with a reason on failure.
bool savePanelPicture(const QImage &picture, const QString &path, QString *error = nullptr);

} // namespace zelvar
