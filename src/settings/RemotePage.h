#pragma once

#include "remote/RemoteSettings.h"

#include <QByteArray>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace zelvar {

// The page "Télécommande" of the general settings: the web remote's server and the
// home-automation bridge. It shows remote.ini of the user's configuration folder when it
// opens; applying writes that file alone (never the panel's) and hands the settings to the
// program's host, which restarts what changed. The phone's address with its token is shown
// as text and as a QR code, with the state of the server and of the bridge.
class RemotePage : public QWidget
{
    Q_OBJECT

public:
    explicit RemotePage(QWidget *parent = nullptr);

    QGroupBox *Group_Http = nullptr; // checked: the server runs
    QComboBox *Combo_Adresse = nullptr;
    QSpinBox *Spin_PortHttp = nullptr;
    QLineEdit *Edit_Noms = nullptr;
    QLabel *Label_EtatHttp = nullptr;
    QLabel *Image_QR = nullptr;
    QLabel *Label_Adresse = nullptr; // the phone's address, selectable
    QLabel *Label_Boucle = nullptr;  // why a phone cannot reach a loopback address
    QPushButton *Btn_ReseauLocal = nullptr;
    QPushButton *Btn_NouveauJeton = nullptr;

    QGroupBox *Group_Mqtt = nullptr; // checked: the bridge runs
    QLineEdit *Edit_Serveur = nullptr;
    QSpinBox *Spin_PortMqtt = nullptr;
    QLineEdit *Edit_Utilisateur = nullptr;
    QLineEdit *Edit_MotDePasse = nullptr;
    QLineEdit *Edit_CA = nullptr;
    QPushButton *Btn_CA = nullptr;
    QLineEdit *Edit_Noeud = nullptr;
    QLabel *Label_EtatMqtt = nullptr;

    // The address list's choices, by the address they stand for.
    static QString loopbackItem();
    static QString everywhereItem();

    // True once the user changed a value, until the settings are written.
    bool changed() const { return m_changed; }
    // Writes remote.ini and hands the settings to the program; false with the reason, for the
    // user, when nothing was written.
    bool apply(QString *error);

    // The address the QR code holds; empty while the server is off.
    QString pageUrl() const { return m_url; }

    void Btn_ReseauLocalClick();
    void Btn_NouveauJetonClick();
    void Btn_CAClick();

    // The CA file dialog; an empty name means cancelled. Tests replace it.
    std::function<QString()> chooseCaFile;

signals:
    void edited();

private:
    QGroupBox *createHttpGroup();
    QGroupBox *createMqttGroup();
    void showSettings(const RemoteSettings &settings);
    std::optional<RemoteSettings> typedSettings(QString *error) const;
    QString typedAddress() const;
    void showStatus();
    void showAddress();
    void markChanged();

    RemoteSettings m_applied; // as in remote.ini
    QByteArray m_token;
    QString m_tokenError;
    QString m_fileError;
    QString m_url;
    bool m_changed = false;
};

} // namespace zelvar
