#include "settings/RemotePage.h"

#include "forms/ErrorReport.h"
#include "forms/Forms.h"
#include "forms/RemoteLink.h"
#include "panel/Form_ActBtn.h"
#include "settings/RemoteAddress.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QVBoxLayout>

namespace zelvar {

namespace {

constexpr int QrSide = 124;
constexpr int MaxHostLength = 253;
constexpr int MaxTextLength = 255;
constexpr int MaxPathLength = 4096;
const QColor ErrorColor(128, 0, 0);

const QString GuestText = QStringLiteral("Le service zelvar-cli serve tient le port : c'est lui qui sert "
                                         "(ses options --http et --mqtt), pas le programme.");
const QString Loopback = QStringLiteral("127.0.0.1");
const QString Everywhere = QStringLiteral("0.0.0.0");

QLabel *noteLabel(QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Room above the line for the accent of a capital (É).
    label->setContentsMargins(0, 2, 0, 0);
    return label;
}

QLineEdit *lineEdit(QWidget *parent, int maxLength)
{
    auto *edit = new QLineEdit(parent);
    edit->setMaxLength(maxLength);
    return edit;
}

QSpinBox *portSpin(QWidget *parent)
{
    auto *spin = new QSpinBox(parent);
    spin->setRange(1, 65535);
    spin->setMaximumWidth(70);
    return spin;
}

void paintText(QLabel *label, const QString &text, bool error)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, error ? ErrorColor : QColor(Qt::black));
    label->setPalette(palette);
    label->setText(text);
}

// A host name or an address as a URL or a socket takes it.
bool plausibleHost(const QString &name)
{
    static const QRegularExpression host(QStringLiteral("^[A-Za-z0-9._:\\[\\]-]+$"));
    return name.size() <= MaxHostLength && host.match(name).hasMatch();
}

} // namespace

QString RemotePage::loopbackItem()
{
    return QStringLiteral("127.0.0.1 (cet ordinateur seulement)");
}

QString RemotePage::everywhereItem()
{
    return QStringLiteral("Toutes les adresses (réseau local)");
}

RemotePage::RemotePage(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(6);
    layout->addWidget(createHttpGroup(), 1);
    layout->addWidget(createMqttGroup(), 1);

    m_applied = readRemoteSettings(&m_fileError);
    m_token = remoteToken(&m_tokenError);
    showSettings(m_applied);
    showAddress();
    showStatus();
    if (RemoteLink *link = Forms::instance().remote)
        connect(link, &RemoteLink::statusChanged, this, &RemotePage::showStatus);

    chooseCaFile = [this] {
        const TForm_ActBtn::KeyHookPause typing;
        return QFileDialog::getOpenFileName(this, QStringLiteral("Certificat de l'autorité (CA)"), QString(),
                                            QStringLiteral("Certificats (*.crt *.pem);;Tous les fichiers (*)"));
    };

    for (QGroupBox *group : {Group_Http, Group_Mqtt})
        connect(group, &QGroupBox::clicked, this, &RemotePage::markChanged);
    connect(Combo_Adresse, &QComboBox::currentTextChanged, this, &RemotePage::markChanged);
    for (QSpinBox *spin : {Spin_PortHttp, Spin_PortMqtt})
        connect(spin, &QSpinBox::valueChanged, this, &RemotePage::markChanged);
    for (QLineEdit *edit : {Edit_Noms, Edit_Serveur, Edit_Utilisateur, Edit_MotDePasse, Edit_CA, Edit_Noeud})
        connect(edit, &QLineEdit::textEdited, this, &RemotePage::markChanged);
    connect(Btn_ReseauLocal, &QPushButton::clicked, this, &RemotePage::Btn_ReseauLocalClick);
    connect(Btn_NouveauJeton, &QPushButton::clicked, this, &RemotePage::Btn_NouveauJetonClick);
    connect(Btn_CA, &QPushButton::clicked, this, &RemotePage::Btn_CAClick);
}

QGroupBox *RemotePage::createHttpGroup()
{
    Group_Http = new QGroupBox(QStringLiteral("Télécommande web (HTTP)"), this);
    Group_Http->setCheckable(true);
    Group_Http->setToolTip(QStringLiteral("Cochée, la page de télécommande est servie aux téléphones et aux navigateurs"));
    auto *form = new QFormLayout(Group_Http);
    form->setContentsMargins(6, 4, 6, 6);
    form->setVerticalSpacing(3);

    Combo_Adresse = new QComboBox(Group_Http);
    Combo_Adresse->setEditable(true);
    Combo_Adresse->addItem(loopbackItem(), Loopback);
    Combo_Adresse->addItem(everywhereItem(), Everywhere);
    Combo_Adresse->lineEdit()->setMaxLength(64);
    Combo_Adresse->setToolTip(QStringLiteral("Ou une adresse IP de cet ordinateur"));
    form->addRow(QStringLiteral("Adresse"), Combo_Adresse);
    Spin_PortHttp = portSpin(Group_Http);
    form->addRow(QStringLiteral("Port"), Spin_PortHttp);
    Edit_Noms = lineEdit(Group_Http, 1024);
    Edit_Noms->setToolTip(QStringLiteral("Les noms sous lesquels on joint aussi le serveur (un proxy inverse), "
                                         "séparés par des virgules"));
    form->addRow(QStringLiteral("Autres noms"), Edit_Noms);
    Label_EtatHttp = noteLabel(Group_Http);
    form->addRow(Label_EtatHttp);

    Image_QR = new QLabel(Group_Http);
    Image_QR->setFixedSize(QrSide, QrSide);
    Image_QR->setAlignment(Qt::AlignCenter);
    Label_Boucle = noteLabel(Group_Http);
    Btn_ReseauLocal = new QPushButton(QStringLiteral("Écouter sur le réseau local"), Group_Http);
    auto *beside = new QVBoxLayout;
    beside->addWidget(Label_Boucle);
    beside->addWidget(Btn_ReseauLocal);
    beside->addStretch(1);
    auto *code = new QHBoxLayout;
    code->addWidget(Image_QR, 0, Qt::AlignTop);
    code->addLayout(beside, 1);
    form->addRow(code);

    Label_Adresse = noteLabel(Group_Http);
    Label_Adresse->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    Label_Adresse->setToolTip(QStringLiteral("L'adresse à ouvrir, avec le jeton : sélectionnez-la pour la copier"));
    form->addRow(Label_Adresse);
    Btn_NouveauJeton = new QPushButton(QStringLiteral("Nouveau jeton"), Group_Http);
    Btn_NouveauJeton->setToolTip(QStringLiteral("L'ancien jeton cesse d'ouvrir la télécommande : "
                                                "chaque téléphone lit le nouveau code"));
    form->addRow(Btn_NouveauJeton);
    return Group_Http;
}

QGroupBox *RemotePage::createMqttGroup()
{
    Group_Mqtt = new QGroupBox(QStringLiteral("Domotique (MQTT)"), this);
    Group_Mqtt->setCheckable(true);
    Group_Mqtt->setToolTip(QStringLiteral("Cochée, les relais et les boutons sont publiés sur le serveur MQTT"));
    auto *form = new QFormLayout(Group_Mqtt);
    form->setContentsMargins(6, 4, 6, 6);
    form->setVerticalSpacing(3);

    Edit_Serveur = lineEdit(Group_Mqtt, MaxHostLength);
    Edit_Serveur->setPlaceholderText(QStringLiteral("nom ou adresse"));
    form->addRow(QStringLiteral("Serveur"), Edit_Serveur);
    Spin_PortMqtt = portSpin(Group_Mqtt);
    form->addRow(QStringLiteral("Port"), Spin_PortMqtt);
    Edit_Utilisateur = lineEdit(Group_Mqtt, MaxTextLength);
    form->addRow(QStringLiteral("Utilisateur"), Edit_Utilisateur);
    Edit_MotDePasse = lineEdit(Group_Mqtt, MaxTextLength);
    Edit_MotDePasse->setEchoMode(QLineEdit::Password);
    form->addRow(QStringLiteral("Mot de passe"), Edit_MotDePasse);
    Edit_CA = lineEdit(Group_Mqtt, MaxPathLength);
    Edit_CA->setToolTip(QStringLiteral("Un certificat d'autorité active le chiffrement (TLS) ; vide : sans"));
    Btn_CA = new QPushButton(QStringLiteral("…"), Group_Mqtt);
    Btn_CA->setFixedWidth(26);
    Btn_CA->setToolTip(QStringLiteral("Choisir le fichier"));
    auto *ca = new QHBoxLayout;
    ca->addWidget(Edit_CA, 1);
    ca->addWidget(Btn_CA);
    form->addRow(QStringLiteral("Certificat CA"), ca);
    Edit_Noeud = lineEdit(Group_Mqtt, 64);
    Edit_Noeud->setPlaceholderText(defaultNodeName());
    Edit_Noeud->setToolTip(QStringLiteral("Le nom de cette machine dans les sujets zelvar/<nœud>/… : lettres, "
                                          "chiffres et _ ; vide : le nom de la machine"));
    form->addRow(QStringLiteral("Nœud"), Edit_Noeud);
    Label_EtatMqtt = noteLabel(Group_Mqtt);
    form->addRow(Label_EtatMqtt);
    return Group_Mqtt;
}

void RemotePage::showSettings(const RemoteSettings &settings)
{
    const QSignalBlocker blockCombo(Combo_Adresse);
    const QSignalBlocker blockHttp(Spin_PortHttp);
    const QSignalBlocker blockMqtt(Spin_PortMqtt);
    Group_Http->setChecked(settings.http.enabled);
    const int item = Combo_Adresse->findData(settings.http.address);
    if (item >= 0)
        Combo_Adresse->setCurrentIndex(item);
    else
        Combo_Adresse->setEditText(settings.http.address);
    Spin_PortHttp->setValue(settings.http.port);
    Edit_Noms->setText(settings.http.extraHosts.join(QStringLiteral(", ")));

    Group_Mqtt->setChecked(settings.mqtt.enabled);
    Edit_Serveur->setText(settings.mqtt.host);
    Spin_PortMqtt->setValue(settings.mqtt.port);
    Edit_Utilisateur->setText(settings.mqtt.user);
    Edit_MotDePasse->setText(settings.mqtt.password);
    Edit_CA->setText(settings.mqtt.caFile);
    Edit_Noeud->setText(settings.mqtt.node);
}

QString RemotePage::typedAddress() const
{
    const QString text = Combo_Adresse->currentText().trimmed();
    const int item = Combo_Adresse->findText(text);
    return item >= 0 ? Combo_Adresse->itemData(item).toString() : text;
}

std::optional<RemoteSettings> RemotePage::typedSettings(QString *error) const
{
    RemoteSettings typed;
    HttpSettings &http = typed.http;
    http.enabled = Group_Http->isChecked();
    http.address = typedAddress();
    if (QHostAddress(http.address).isNull()) {
        *error = QStringLiteral("Adresse d'écoute invalide : « %1 ». Choisissez 127.0.0.1, toutes les adresses, "
                                "ou donnez une adresse IP de cet ordinateur.")
                     .arg(http.address);
        return std::nullopt;
    }
    http.port = quint16(Spin_PortHttp->value());
    for (const QString &name : Edit_Noms->text().split(QRegularExpression(QStringLiteral("[,\\s]+")), Qt::SkipEmptyParts)) {
        if (!plausibleHost(name)) {
            *error = QStringLiteral("Nom d'hôte invalide : « %1 ».").arg(name);
            return std::nullopt;
        }
        http.extraHosts << name;
    }

    MqttSettings &mqtt = typed.mqtt;
    mqtt.enabled = Group_Mqtt->isChecked();
    mqtt.host = Edit_Serveur->text().trimmed();
    if (!mqtt.host.isEmpty() && !plausibleHost(mqtt.host)) {
        *error = QStringLiteral("Serveur MQTT invalide : « %1 ».").arg(mqtt.host);
        return std::nullopt;
    }
    if (mqtt.enabled && mqtt.host.isEmpty()) {
        *error = QStringLiteral("Donnez le nom ou l'adresse du serveur MQTT.");
        return std::nullopt;
    }
    mqtt.port = quint16(Spin_PortMqtt->value());
    mqtt.user = Edit_Utilisateur->text();
    mqtt.password = Edit_MotDePasse->text();
    mqtt.caFile = Edit_CA->text().trimmed();
    const std::pair<QString, QString> kept[] = {{QStringLiteral("Utilisateur"), mqtt.user},
                                                {QStringLiteral("Mot de passe"), mqtt.password},
                                                {QStringLiteral("Certificat CA"), mqtt.caFile}};
    for (const auto &[field, value] : kept) {
        if (const QString why = unkeptRemoteText(field, value); !why.isEmpty()) {
            *error = why;
            return std::nullopt;
        }
    }
    if (!mqtt.caFile.isEmpty()) {
        const QFileInfo file(mqtt.caFile);
        if (!file.isFile() || !file.isReadable()) {
            *error = QStringLiteral("Le certificat CA « %1 » ne peut pas être lu.").arg(mqtt.caFile);
            return std::nullopt;
        }
    }
    const QString node = Edit_Noeud->text().trimmed();
    mqtt.node = cleanNodeName(node);
    if (!node.isEmpty() && mqtt.node.isEmpty()) {
        *error = QStringLiteral("Nom de nœud invalide : « %1 » (lettres, chiffres et _ seulement).").arg(node);
        return std::nullopt;
    }
    return typed;
}

bool RemotePage::apply(QString *error)
{
    QString why;
    const std::optional<RemoteSettings> typed = typedSettings(&why);
    if (!typed) {
        *error = why + QStringLiteral("\nLes réglages de la télécommande n'ont pas été enregistrés.");
        return false;
    }
    if (!writeRemoteSettings(*typed, &why)) {
        *error = QStringLiteral("Les réglages de la télécommande n'ont pas été enregistrés : %1").arg(why);
        return false;
    }
    m_applied = *typed;
    m_fileError.clear();
    m_changed = false;
    // The node as it will be used, once reduced to the letters it may hold.
    Edit_Noeud->setText(typed->mqtt.node);
    if (RemoteLink *link = Forms::instance().remote)
        link->apply(*typed);
    showAddress();
    showStatus();
    return true;
}

void RemotePage::markChanged()
{
    m_changed = true;
    emit edited();
}

// The address of the server in force: what a phone can open now.
void RemotePage::showAddress()
{
    const HttpSettings &http = m_applied.http;
    const bool loopback = QHostAddress(http.address).isLoopback();
    m_url = http.enabled && !m_token.isEmpty()
                ? remotePageUrl(http.address, http.port, m_token, listensEverywhere(http.address)
                                                                     ? machineAddresses()
                                                                     : QList<QHostAddress>{})
                : QString();
    Image_QR->setVisible(!m_url.isEmpty());
    Btn_ReseauLocal->setVisible(loopback);
    if (!m_token.isEmpty() && m_url.isEmpty()) {
        Image_QR->clear();
        paintText(Label_Adresse, QStringLiteral("Le serveur web est arrêté : cochez « Télécommande web », puis Appliquer."),
                  false);
    } else if (m_token.isEmpty()) {
        Image_QR->clear();
        paintText(Label_Adresse, QStringLiteral("Pas de jeton : %1").arg(m_tokenError), true);
    } else {
        const QImage code = qrCodeImage(m_url.toUtf8());
        const int scale = std::max(1, QrSide / std::max(1, code.width()));
        Image_QR->setPixmap(QPixmap::fromImage(code.scaled(code.size() * scale)));
        paintText(Label_Adresse, m_url, false);
    }
    if (loopback)
        Label_Boucle->setText(QStringLiteral("Un téléphone ne peut pas joindre 127.0.0.1 : cette adresse n'ouvre "
                                             "la télécommande que sur cet ordinateur."));
    else
        Label_Boucle->setText(QStringLiteral("Scannez ce code avec l'appareil photo d'un téléphone du même réseau."));
    Label_Boucle->setVisible(!m_url.isEmpty() || loopback);
}

void RemotePage::showStatus()
{
    RemoteLink *link = Forms::instance().remote;
    const std::optional<RemoteStatus> status = link ? std::optional(link->status()) : std::nullopt;
    if (!m_fileError.isEmpty()) {
        paintText(Label_EtatHttp,
                  QStringLiteral("%1 ne peut pas être lu (%2) : les réglages donnés ici le remplaceront.")
                      .arg(RemoteFiles::settingsPath(), m_fileError),
                  true);
    } else if (!status) {
        paintText(Label_EtatHttp, QStringLiteral("Sans panneau chargé, rien ne démarre : les réglages serviront "
                                                 "au prochain démarrage."),
                  false);
    } else if (status->guest) {
        paintText(Label_EtatHttp, GuestText, false);
    } else if (status->httpListening) {
        const bool v6 = status->httpAddress.contains(u':');
        const QString where = listensEverywhere(status->httpAddress)
                                  ? QStringLiteral("En service sur toutes les adresses, port %1").arg(status->httpPort)
                                  : QStringLiteral("En service sur %1:%2")
                                        .arg(v6 ? QStringLiteral("[%1]").arg(status->httpAddress) : status->httpAddress)
                                        .arg(status->httpPort);
        paintText(Label_EtatHttp, where, false);
    } else if (!status->httpError.isEmpty()) {
        paintText(Label_EtatHttp, QStringLiteral("Arrêté : %1").arg(status->httpError), true);
    } else {
        paintText(Label_EtatHttp, QStringLiteral("Arrêté"), false);
    }
    const QString mqtt = status ? status->mqtt : QString();
    if (status && status->guest)
        paintText(Label_EtatMqtt, GuestText, false);
    else
        paintText(Label_EtatMqtt, QStringLiteral("État : %1").arg(mqtt.isEmpty() ? QStringLiteral("arrêté") : mqtt),
                  false);
}

// The offer made while the server answers on this computer alone: the same server on every
// address, at once, with its token.
void RemotePage::Btn_ReseauLocalClick()
{
    {
        // Applied at once below: nothing is left for the dialog's "Appliquer".
        const QSignalBlocker blockCombo(Combo_Adresse);
        Group_Http->setChecked(true);
        Combo_Adresse->setCurrentIndex(Combo_Adresse->findData(Everywhere));
    }
    QString error;
    if (!apply(&error))
        showErrorReport(error, this);
}

void RemotePage::Btn_NouveauJetonClick()
{
    QString error;
    const QByteArray token = newRemoteToken(&error);
    if (token.isEmpty()) {
        paintText(Label_EtatHttp, QStringLiteral("Le jeton n'a pas été changé : %1").arg(error), true);
        return;
    }
    m_token = token;
    m_tokenError.clear();
    if (RemoteLink *link = Forms::instance().remote)
        link->useToken(token);
    showAddress();
}

void RemotePage::Btn_CAClick()
{
    const QString path = chooseCaFile();
    if (path.isEmpty())
        return;
    Edit_CA->setText(path);
    markChanged();
}

} // namespace zelvar
