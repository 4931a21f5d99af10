#include "panel/PanelConfig.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>
#include <algorithm>

namespace zelvar {

namespace K = PanelKeys;

namespace {

int clampCoordinate(int value)
{
    return std::clamp(value, -MaxCoordinate, MaxCoordinate);
}

int boundedCount(int count, int limit, const QString &what, PanelConfig *config)
{
    if (count <= limit)
        return count;
    config->cut = true;
    config->warnings.append(QStringLiteral("Le fichier annonce %1 %2 ; seuls les %3 premiers sont chargés.")
                         .arg(count)
                         .arg(what)
                         .arg(limit));
    return limit;
}

// The keys of section k, one after the other in one buffer: a panel of a thousand buttons
// asks for ten thousand of them.
class NumberedKeys
{
public:
    explicit NumberedKeys(int k) : m_number(QString::number(k)) {}
    const QString &operator()(const QString &base)
    {
        m_key.resize(0);
        m_key.append(base).append(m_number);
        return m_key;
    }

private:
    QString m_number;
    QString m_key;
};

ButtonConfig readButton(const ProfileFile &profile, int k, PanelReader reader)
{
    const QString section = K::numbered(K::ButtonSection, k);
    NumberedKeys key(k);
    ButtonConfig button;
    button.mode = profile.readInteger(section, key(K::Mode), 0);
    button.relay = profile.readInteger(section, key(K::Relay), 0);
    if (reader != PanelReader::Editor || button.mode == 5)
        button.prontoCode = profile.readString(section, key(K::Pronto), QStringLiteral("0"));
    else
        button.prontoCode.clear(); // the editor's entry starts zero-filled
    button.left = clampCoordinate(profile.readInteger(section, key(K::Left), 0));
    button.top = clampCoordinate(profile.readInteger(section, key(K::Top), 0));
    button.caption = profile.readString(section, key(K::Caption), QStringLiteral("vide"));
    button.shortcut = profile.readInteger(section, key(K::Shortcut), 0);
    if (reader == PanelReader::Editor) {
        button.description = profile.readString(section, key(K::Description), QStringLiteral("Description"));
        button.shortcutName = profile.readString(section, key(K::ShortcutName), QStringLiteral(u"Non défini"));
    } else {
        button.description = profile.readString(section, key(K::Description), QStringLiteral(u"Non défini"));
    }
    button.id = profile.readString(section, key(K::Id), QString());
    return button;
}

// A file written before ids, or edited by hand, gets ids at load: a button without one (or
// with one taken or unusable) is "button<k>", the name its entities had when they went by
// their place, so home automation keeps them; the next save writes them down.
void settleIds(std::vector<ButtonConfig> &buttons)
{
    QSet<QString> taken;
    for (const ButtonConfig &button : buttons)
        if (isButtonId(button.id))
            taken.insert(button.id);
    QSet<QString> used;
    for (size_t i = 0; i < buttons.size(); ++i) {
        QString &id = buttons[i].id;
        if (isButtonId(id) && !used.contains(id)) {
            used.insert(id);
            continue;
        }
        const QString byPlace = QStringLiteral("button%1").arg(i + 1);
        id = taken.contains(byPlace) || used.contains(byPlace) ? newButtonId() : byPlace;
        used.insert(id);
        taken.insert(id);
    }
}

TextConfig readText(const ProfileFile &profile, int k)
{
    const QString section = K::numbered(K::TextSection, k);
    NumberedKeys key(k);
    TextConfig text;
    text.text = profile.readString(section, key(K::Text), QStringLiteral("0"));
    text.left = clampCoordinate(profile.readInteger(section, key(K::TextLeft), 0));
    text.top = clampCoordinate(profile.readInteger(section, key(K::TextTop), 0));
    return text;
}

} // namespace

QString newButtonId()
{
    return QString::number(QRandomGenerator::global()->generate() | 0x10000000u, 16);
}

bool isButtonId(const QString &id)
{
    if (id.isEmpty() || id.size() > 32)
        return false;
    return std::all_of(id.begin(), id.end(), [](QChar c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_' || c == u'-';
    });
}

TextConfig readPanelText(const ProfileFile &profile, int k)
{
    return readText(profile, k);
}

PanelConfig readPanelConfig(const ProfileFile &profile, PanelReader reader)
{
    PanelConfig config;
    config.unreadable = profile.readError();
    PanelSettings &s = config.settings;
    s.CurrentPortName = profile.readString(K::Com, K::PortName, QStringLiteral("COM1"));
    s.CurrentPortSpeed = profile.readString(K::Com, K::PortSpeed, QStringLiteral("9600"));
    s.ExitMenusEnabled = profile.readBool(K::Settings, K::ExitMenus, true);
    s.ReduceToTray = profile.readBool(K::Settings, K::ReduceToTray, true);
    if (reader == PanelReader::Factory)
        config.moveMainWindowRead = false;
    else
        s.MoveMainWindow = profile.readBool(K::Settings, K::MoveMainWindow, false);

    const int buttonCount = profile.readInteger(K::Settings, K::ButtonCount, 0);
    if (buttonCount < 1)
        return config;
    const int buttons = boundedCount(buttonCount, MaxPanelButtons, QStringLiteral("boutons"), &config);
    config.buttons.reserve(size_t(buttons));
    for (int k = 1; k <= buttons; ++k)
        config.buttons.push_back(readButton(profile, k, reader));
    config.buttonsEverHeld = true;
    settleIds(config.buttons);

    const int textCount = profile.readInteger(K::Settings, K::TextCount, 0);
    if (textCount < 1)
        return config;
    const int texts = boundedCount(textCount, MaxPanelTexts, QStringLiteral("textes"), &config);
    config.texts.reserve(size_t(texts));
    for (int k = 1; k <= texts; ++k)
        config.texts.push_back(readText(profile, k));
    config.textsEverHeld = true;
    config.wantsPicture = reader != PanelReader::Factory;
    return config;
}

QString PanelConfig::saveRefusal(const QString &path) const
{
    const QString shown = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    if (!unreadable.isEmpty())
        return QStringLiteral("Le fichier %1 ne peut pas être lu (%2) : le panneau reste vide, et rien "
                              "n'y sera enregistré.")
            .arg(shown, unreadable);
    if (cut)
        return QStringLiteral("Le fichier %1 annonce plus de %2 boutons ou textes : seuls les premiers "
                              "ont été chargés, et rien n'est enregistré, pour ne pas perdre les autres.")
            .arg(shown)
            .arg(MaxPanelButtons);
    return QString();
}

ProfileFile writePanelConfig(const PanelConfig &config)
{
    ProfileFile profile;
    profile.writeString(K::Info, QStringLiteral("_"), QStringLiteral("                    Avertissement"));
    profile.writeString(K::Info, QStringLiteral("__"),
                        QStringLiteral("     Attention,toute modification de ce fichier peux"));
    profile.writeString(K::Info, QStringLiteral("___"), QStringLiteral("         avoir des consequences inatendues"));
    profile.writeString(K::Info, QStringLiteral("____"), QStringLiteral("                    Ostrel"));
    profile.writeString(K::Info, QStringLiteral("_____"), QStringLiteral(" "));

    auto count = [](size_t size, bool everHeld) { return size > 0 ? int(size) : (everHeld ? 0 : -1); };
    const PanelSettings &s = config.settings;
    profile.writeInteger(K::Settings, K::ButtonCount, count(config.buttons.size(), config.buttonsEverHeld));
    profile.writeInteger(K::Settings, K::TextCount, count(config.texts.size(), config.textsEverHeld));
    profile.writeBool(K::Settings, K::ExitMenus, s.ExitMenusEnabled);
    profile.writeBool(K::Settings, K::ReduceToTray, s.ReduceToTray);
    profile.writeBool(K::Settings, K::MoveMainWindow, s.MoveMainWindow);
    profile.writeString(K::Settings, K::Separator, QString());

    profile.writeString(K::Com, K::PortName, s.CurrentPortName);
    profile.writeString(K::Com, K::PortSpeed, s.CurrentPortSpeed);
    profile.writeString(K::Com, K::Separator, QString());

    for (size_t i = 0; i < config.buttons.size(); ++i) {
        const ButtonConfig &b = config.buttons[i];
        const int k = int(i) + 1;
        const QString section = K::numbered(K::ButtonSection, k);
        profile.writeInteger(section, K::numbered(K::Mode, k), b.mode);
        profile.writeString(section, K::numbered(K::Description, k), b.description);
        profile.writeInteger(section, K::numbered(K::Left, k), b.left);
        profile.writeInteger(section, K::numbered(K::Top, k), b.top);
        profile.writeString(section, K::numbered(K::Caption, k), b.caption);
        profile.writeInteger(section, K::numbered(K::Shortcut, k), b.shortcut);
        profile.writeString(section, K::numbered(K::ShortcutName, k), b.shortcutName);
        if (b.mode == 5)
            profile.writeString(section, K::numbered(K::Pronto, k), b.prontoCode);
        else
            profile.writeInteger(section, K::numbered(K::Relay, k), b.relay);
        if (!b.id.isEmpty())
            profile.writeString(section, K::numbered(K::Id, k), b.id);
        profile.writeString(section, K::Separator, QString());
    }
    for (size_t i = 0; i < config.texts.size(); ++i) {
        const TextConfig &t = config.texts[i];
        const int k = int(i) + 1;
        const QString section = K::numbered(K::TextSection, k);
        profile.writeString(section, K::numbered(K::Text, k), t.text);
        profile.writeInteger(section, K::numbered(K::TextLeft, k), t.left);
        profile.writeInteger(section, K::numbered(K::TextTop, k), t.top);
        profile.writeString(section, K::Separator, QStringLiteral(" "));
    }
    return profile;
}

} // namespace zelvar
