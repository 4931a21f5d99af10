#include "settings/Form_CfgErreur.h"

#include "forms/ErrorReport.h"
#include "forms/Forms.h"
#include "common/Colors.h"
#include "devices/ComError.h"
#include "devices/ComPort.h"
#include "devices/CommLayer.h"
#include "devices/SendSequences.h"
#include "panel/Form_ActBtn.h"
#include "settings/PortSettingsFile.h"
#include "widgets/Fonts.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace zelvar {

namespace {

constexpr int ClientWidth = 602;
constexpr int ClientHeight = 365;
constexpr int ComboHeight = 21;
constexpr int Red = 255; // 0xBBGGRR
const QString PortTitle = QStringLiteral("Port");
const QString SpeedTitle = QStringLiteral("Baud rate");

TForm_CfgErreur::MessageHook &messageHook()
{
    static TForm_CfgErreur::MessageHook hook;
    return hook;
}

QString explanation()
{
    return QStringList{
        QStringLiteral(" Ce type d'erreur intervient lorsque "),
        QStringLiteral("1: Le port Com n'est pas reglé correctement."),
        QStringLiteral("2: Le fichier Ini de configuration est corrompu."),
        QStringLiteral(" Les réglages par default doivent etre"),
        QStringLiteral(" restaures dans le menu ") + u'"' + QStringLiteral("réglages par default ") + u'"'
            + QStringLiteral(" au dessus."),
        QStringLiteral("N'hezitez pas a me demander de l'aide."),
    }.join(u'\n');
}

QFont explanationFont()
{
    QFont font(QStringLiteral("Palatino Linotype"));
    // Metric-compatible stand-ins for the Palatino design, then any serif face.
    font.setFamilies({QStringLiteral("Palatino Linotype"), QStringLiteral("Palatino"), QStringLiteral("P052"),
                      QStringLiteral("TeX Gyre Pagella"), QStringLiteral("URW Palladio L")});
    font.setStyleHint(QFont::Serif);
    font.setPixelSize(16);
    return font;
}

QPushButton *makeButton(QWidget *parent, const QString &text, const QRect &geometry, bool enabled)
{
    auto *button = new QPushButton(text, parent);
    button->setGeometry(geometry);
    button->setEnabled(enabled);
    return button;
}

// The list's text is the value in force, in the colour of a chosen item; its title when
// there is none. A list that takes typing shows the value as its text, from its start.
void showValue(QComboBox *combo, const QString &value, const QString &title)
{
    const bool none = value.trimmed().isEmpty();
    combo->setCurrentIndex(-1);
    if (QLineEdit *edit = combo->lineEdit()) {
        edit->setPlaceholderText(title);
        combo->setEditText(none ? QString() : value);
        edit->setCursorPosition(0);
    } else {
        combo->setPlaceholderText(none ? title : value);
    }
    // A device path is longer than the box.
    combo->setToolTip(value);
}

QComboBox *makeCombo(QWidget *parent, const QStringList &items, const QRect &geometry)
{
    auto *combo = new QComboBox(parent);
    combo->addItems(items);
    QPalette palette = combo->palette();
    palette.setColor(QPalette::PlaceholderText, palette.color(QPalette::ButtonText));
    combo->setPalette(palette);
    combo->setGeometry(geometry);
    combo->setMaxVisibleItems(20);
    return combo;
}

// The device a failed test tried, so that a wrong name shows at once.
QString triedDevice(const QString &portName)
{
    const QString path = comm::devicePath(portName);
    const QString shown = path == portName ? path : portName + QStringLiteral(" (") + path + u')';
    return QStringLiteral("Périphérique essayé : ") + shown;
}

QString noPanelMessage(const QString &action)
{
    return QStringLiteral("Aucun panneau n'est chargé : le port ne peut pas être %1.").arg(action);
}

} // namespace

TForm_CfgErreur::TForm_CfgErreur(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Reglages du port"));
    setWindowFlag(Qt::FramelessWindowHint);
    setFont(uiFont(11));
    QPalette background = palette();
    background.setColor(QPalette::Window, colorFromBgr(Red));
    setPalette(background);
    setAutoFillBackground(true);
    resize(ClientWidth, ClientHeight);
    if (!parent)
        setWindowState(Qt::WindowMaximized);

    // The picture holds nothing; it lies under every other control and takes no clicks.
    Image1 = new QLabel(this);
    Image1->setGeometry(0, 0, 602, 357);
    Image1->setAttribute(Qt::WA_TransparentForMouseEvents);

    Label1 = new QLabel(QStringLiteral("Configuration du port Com"), this);
    Label1->setGeometry(88, 13, 432, 45);
    Label1->setFont(uiFont(37));
    QPalette title = Label1->palette();
    title.setColor(QPalette::WindowText, QApplication::palette().color(QPalette::Base));
    Label1->setPalette(title);

    Label2 = new QLabel(explanation(), this);
    Label2->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label2->setFont(explanationFont());
    QPalette white = Label2->palette();
    white.setColor(QPalette::WindowText, Qt::white);
    Label2->setPalette(white);
    Label2->move(99, 64);
    Label2->setMinimumSize(46, 22);
    Label2->adjustSize();

    Btn_FermerCfgE = makeButton(this, QStringLiteral("Fermer"), {64, 256, 81, 65}, true);
    Btn_EnrCfgE = makeButton(this, QStringLiteral("Enregistrer "), {144, 256, 81, 65}, false);
    Btn_QuitterCfgE = makeButton(this, QStringLiteral("Quitter"), {224, 256, 89, 65}, true);

    const PanelSettings &settings = Forms::instance().settings;
    choices_ = zelvar::portChoices(listSerialDevices(),
                                   {settings.CurrentPortName, storedPortName(PanelFiles::config())});
    QStringList portLabels;
    for (const PortChoice &choice : std::as_const(choices_))
        portLabels << choice.label;
    Port = makeCombo(this, portLabels, {319, 256, 74, ComboHeight});
    // Any device path may be typed; the list only offers the usual ones.
    Port->setEditable(true);
    Port->setInsertPolicy(QComboBox::NoInsert);
    Port->setCompleter(nullptr);
    showValue(Port, settings.CurrentPortName, PortTitle);
    for (int i = 0; i < choices_.size(); ++i)
        if (!choices_.at(i).toolTip.isEmpty())
            Port->setItemData(i, choices_.at(i).toolTip, Qt::ToolTipRole);
    // Device names are longer than the box: the open list shows them whole.
    int widest = 0;
    for (const QString &label : std::as_const(portLabels))
        widest = std::max(widest, Port->fontMetrics().horizontalAdvance(label));
    Port->view()->setMinimumWidth(widest + 24);

    ComboBoxBaudsCfgE = makeCombo(this, speedItems(), {390, 256, 81, ComboHeight});
    showValue(ComboBoxBaudsCfgE, settings.CurrentPortSpeed, SpeedTitle);
    Btn_AppliquerCfgE = makeButton(this, QStringLiteral("Appliquer le reglage du port"), {319, 296, 154, 25}, false);
    Btn_TestCfgE = makeButton(this, QStringLiteral("Test"), {479, 266, 75, 45}, false);

    connect(Port, &QComboBox::activated, this, &TForm_CfgErreur::PortSelect);
    connect(Port, &QComboBox::editTextChanged, Port, &QWidget::setToolTip);
    connect(Port->lineEdit(), &QLineEdit::textEdited, this, [this] {
        typed_ = true;
        setButtons(buttonsAfter(buttons(), PortFormStep::ItemChosen));
    });
    // Leaving the list takes what was typed; a text that is no port name waits, and
    // "Appliquer", "Test" or "Enregistrer " say why.
    connect(Port->lineEdit(), &QLineEdit::editingFinished, this, [this] { takeTypedPort(false); });
    connect(ComboBoxBaudsCfgE, &QComboBox::activated, this, &TForm_CfgErreur::ComboBoxBaudsCfgESelect);
    connect(Btn_AppliquerCfgE, &QPushButton::clicked, this, &TForm_CfgErreur::Btn_AppliquerCfgEClick);
    connect(Btn_TestCfgE, &QPushButton::clicked, this, &TForm_CfgErreur::Btn_TestCfgEClick);
    connect(Btn_EnrCfgE, &QPushButton::clicked, this, &TForm_CfgErreur::Btn_EnrCfgEClick);
    connect(Btn_FermerCfgE, &QPushButton::clicked, this, &TForm_CfgErreur::Btn_FermerCfgEClick);
    connect(Btn_QuitterCfgE, &QPushButton::clicked, this, &TForm_CfgErreur::Btn_QuitterCfgEClick);

    followParent();
    Forms::instance().Form_CfgErreur = this;
}

void TForm_CfgErreur::PortSelect(int index)
{
    PanelSettings &settings = Forms::instance().settings;
    typed_ = false;
    const PortChoice *choice = index >= 0 && index < choices_.size() ? &choices_.at(index) : nullptr;
    if (choice && !choice->portName.isEmpty())
        settings.CurrentPortName = choice->portName;
    // "Com1" stands for COM1; a device's entry shows the name it gives, not its description.
    if (!choice || choice->label.compare(settings.CurrentPortName, Qt::CaseInsensitive) != 0)
        showValue(Port, settings.CurrentPortName, PortTitle);
    setButtons(buttonsAfter(buttons(), PortFormStep::ItemChosen));
}

void TForm_CfgErreur::ComboBoxBaudsCfgESelect(int index)
{
    PanelSettings &settings = Forms::instance().settings;
    if (const std::optional<QString> speed = speedForItem(index))
        settings.CurrentPortSpeed = *speed;
    else
        showValue(ComboBoxBaudsCfgE, settings.CurrentPortSpeed, SpeedTitle);
    setButtons(buttonsAfter(buttons(), PortFormStep::ItemChosen));
}

void TForm_CfgErreur::Btn_AppliquerCfgEClick()
{
    TCustomComPort *port = panelPort();
    if (!port) {
        message(noPanelMessage(QStringLiteral("réglé")));
        return;
    }
    if (!takeTypedPort(true))
        return;
    // Renaming an open port reopens it, and a port left closed by an earlier failure is
    // opened under the chosen name; a failure is reported and the buttons stay as they were.
    try {
        applyTo(*port);
        if (!port->Connected())
            port->OpenPort();
    } catch (const std::exception &error) {
        errorReport(QString::fromUtf8(error.what()));
        return;
    }
    setButtons(buttonsAfter(buttons(), PortFormStep::Applied));
}

void TForm_CfgErreur::Btn_TestCfgEClick()
{
    TCustomComPort *port = panelPort();
    if (!port) {
        message(noPanelMessage(QStringLiteral("testé")));
        return;
    }
    if (!takeTypedPort(true))
        return;
    try {
        applyTo(*port);
        port->OpenPort();
    } catch (const EComPort &error) {
        testFailed(*port, error);
        return;
    } catch (const std::exception &) {
        testFailed(*port, std::nullopt);
        return;
    }
    message(QStringLiteral("L'ouverture du port a reussi.\n"
                           "Le relais 1 doit maintenant s'activer puis de refermer"));
    // The window stays live during the test's second; its end is told by the sender.
    QPointer<TForm_CfgErreur> self(this);
    Send::queue(*port, Send::portTest(), [self, port = QPointer<TCustomComPort>(port)](const SendResult &result) {
        if (!self || !port)
            return;
        if (result.error) {
            self->testFailed(*port, result.error);
            return;
        }
        self->message(QStringLiteral("Si le relais n'a pas fonctionné,c'est que\n"
                                     "le n°port ou la vitesse est mal reglée ."));
        self->setButtons(buttonsAfter(self->buttons(), PortFormStep::TestSucceeded));
    });
}

void TForm_CfgErreur::testFailed(const TCustomComPort &port, const std::optional<EComPort> &error)
{
    QString text = QStringLiteral("Les reglages ne sont pas corrects ! !\n") + triedDevice(port.Port());
    // The account lacks the rights on the device: say which group gives them.
    if (error && !error->hint().isEmpty())
        text += u'\n' + error->hint();
    message(text);
    setButtons(buttonsAfter(buttons(), PortFormStep::TestFailed));
}

void TForm_CfgErreur::Btn_EnrCfgEClick()
{
    if (!takeTypedPort(true))
        return;
    // Storing a port that does not open would fail the next start: the user says so first.
    if (panelPort() && !portInForceOpen()) {
        requestPrompt(QStringLiteral("Enregistrer"), QStringLiteral("Oui"), QStringLiteral("Non"), QString(),
                      QStringLiteral(u"Le port « %1 » ne s'ouvre pas. Enregistrer quand même ?")
                          .arg(Forms::instance().settings.CurrentPortName),
                      PromptStorePortSettings, PromptDismiss, 0, true, true, false);
        return;
    }
    storeSettings();
}

void TForm_CfgErreur::storeSettings()
{
    const PanelSettings &settings = Forms::instance().settings;
    const PortSettingsSaveResult saved =
        savePortSettings(PanelFiles::config(), settings.CurrentPortName, settings.CurrentPortSpeed);
    if (!saved.ok)
        errorReport(saved.error);
}

void TForm_CfgErreur::Btn_FermerCfgEClick()
{
    ActivBtnP(1, 1, 1, 1, 1, 1, 1);
    emit closed();
    close();
}

// Ends the program as the main window's "Quitter" does, question included.
void TForm_CfgErreur::Btn_QuitterCfgEClick()
{
    requestQuit();
}

void TForm_CfgErreur::setMessageHook(MessageHook hook)
{
    messageHook() = std::move(hook);
}

bool TForm_CfgErreur::event(QEvent *event)
{
    if (event->type() == QEvent::ParentChange)
        followParent();
    return QWidget::event(event);
}

bool TForm_CfgErreur::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == followed_ && event->type() == QEvent::Resize)
        setGeometry(followed_->rect());
    return QWidget::eventFilter(watched, event);
}

void TForm_CfgErreur::followParent()
{
    if (followed_ == parentWidget())
        return;
    if (followed_)
        followed_->removeEventFilter(this);
    followed_ = parentWidget();
    if (followed_) {
        followed_->installEventFilter(this);
        setGeometry(followed_->rect());
    }
}

TCustomComPort *TForm_CfgErreur::panelPort() const
{
    const TForm_ActBtn *panel = Forms::instance().Form_ActBtn;
    return panel ? panel->ComPort1 : nullptr;
}

void TForm_CfgErreur::applyTo(TCustomComPort &port) const
{
    const PanelSettings &settings = Forms::instance().settings;
    port.setPort(settings.CurrentPortName);
    port.setBaudRate(TCustomComPort::BaudRateFromText(settings.CurrentPortSpeed));
}

bool TForm_CfgErreur::takeTypedPort(bool report)
{
    if (!typed_)
        return true;
    const QString text = Port->currentText();
    // An entry's own text, typed whole, is that entry.
    for (int i = 0; i < choices_.size(); ++i) {
        if (choices_.at(i).label.compare(text.trimmed(), Qt::CaseInsensitive) == 0) {
            PortSelect(i);
            return true;
        }
    }
    const TypedPortName typed = portNameFromText(text);
    if (!typed.error.isEmpty()) {
        if (report)
            errorReport(typed.error);
        return false;
    }
    typed_ = false;
    Forms::instance().settings.CurrentPortName = typed.name;
    showValue(Port, typed.name, PortTitle);
    return true;
}

bool TForm_CfgErreur::portInForceOpen() const
{
    const TCustomComPort *port = panelPort();
    return port && port->Connected() && port->Port() == Forms::instance().settings.CurrentPortName;
}

PortFormButtons TForm_CfgErreur::buttons() const
{
    return {Btn_FermerCfgE->isEnabled(), Btn_EnrCfgE->isEnabled(), Btn_QuitterCfgE->isEnabled(),
            Btn_AppliquerCfgE->isEnabled(), Btn_TestCfgE->isEnabled()};
}

void TForm_CfgErreur::setButtons(const PortFormButtons &buttons)
{
    Btn_FermerCfgE->setEnabled(buttons.Fermer);
    Btn_EnrCfgE->setEnabled(buttons.Enregistrer);
    Btn_QuitterCfgE->setEnabled(buttons.Quitter);
    Btn_AppliquerCfgE->setEnabled(buttons.Appliquer);
    Btn_TestCfgE->setEnabled(buttons.Test);
}

void TForm_CfgErreur::message(const QString &text)
{
    if (messageHook()) {
        messageHook()(text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationDisplayName(), text, QMessageBox::Ok,
                    this);
    box.exec();
}

void TForm_CfgErreur::errorReport(const QString &text)
{
    if (messageHook())
        messageHook()(text);
    else
        showErrorReport(text, this);
}

} // namespace zelvar
