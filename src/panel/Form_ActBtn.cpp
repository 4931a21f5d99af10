#include "panel/Form_ActBtn.h"

#include "forms/ErrorReport.h"
#include "forms/Forms.h"
#include "common/Colors.h"
#include "devices/ComPort.h"
#include "devices/SendSequences.h"
#include "panel/KeyHook.h"
#include "panel/KeyMapping.h"
#include "panel/ShortcutKeys.h"
#include "panel/WindowDrag.h"
#include "settings/Form_CfgErreur.h"
#include "widgets/Fonts.h"
#include "widgets/XiButton2.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QTimer>

#include <exception>

namespace zelvar {

namespace {

constexpr int PanelColor = 8209740;
constexpr int BarColor = 12157320;
constexpr int ButtonWidth = PanelButtonWidth;
constexpr int ButtonHeight = PanelButtonHeight;

// The panel that holds the application's message hook; there is only ever one.
QPointer<TForm_ActBtn> &hookHolder()
{
    static QPointer<TForm_ActBtn> holder;
    return holder;
}


// What the user learns of a sequence the panel queued, once the sender has run it. A
// QPointer, since the panel may be gone by then.
SendDone reportingTo(QWidget *window)
{
    return [parent = QPointer<QWidget>(window)](const SendResult &result) { reportSendResult(result, parent); };
}

} // namespace

TForm_ActBtn::TForm_ActBtn(QWidget *parent)
    : QWidget(parent)
    , m_buttons(1)
    , m_hook(std::make_unique<KeyHook>([this](const QKeyEvent &event) { TraiteMessages(event); }))
{
    Forms::instance().Form_ActBtn = this;
    createControls();

    ActivBtnP(1, 1, 1, 1, 1, 1, 1);
    m_currentButton = 0;
    installMessageHook();
    Load();
}

TForm_ActBtn::~TForm_ActBtn()
{
    removeMessageHook();
}

void TForm_ActBtn::createControls()
{
    setObjectName(QStringLiteral("Form_ActBtn"));
    if (!parentWidget())
        setWindowFlag(Qt::FramelessWindowHint);
    setFont(uiFont());
    QPalette formPalette = palette();
    formPalette.setColor(QPalette::Window, formPalette.color(QPalette::Button));
    setPalette(formPalette);
    setAutoFillBackground(true);
    resize(PanelWidth, PanelHeight);

    // Nothing is ever drawn on it, and the panel covers it.
    Image3 = new QLabel(this);
    Image3->setObjectName(QStringLiteral("Image3"));
    Image3->setGeometry(120, 0, 366, 25);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::NoFrame);
    Panel1->setGeometry(0, 0, PanelWidth, PanelHeight);
    QPalette panelPalette = Panel1->palette();
    panelPalette.setColor(QPalette::Window, colorFromBgr(PanelColor));
    Panel1->setPalette(panelPalette);
    Panel1->setAutoFillBackground(true);

    Label1 = new QLabel(QStringLiteral("Label1"), Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(8, 8);
    Label1->adjustSize();

    Image1 = new QLabel(Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(0, 0, PanelWidth, PanelHeight);
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    new WindowDrag(Image1, [] { return Forms::instance().settings.MoveMainWindow; });

    EmptyHint = new QLabel(QStringLiteral(u"Aucun bouton : « Configuration des boutons », puis clic droit, "
                                          u"pour ajouter un bouton"),
                           Panel1);
    EmptyHint->setObjectName(QStringLiteral("EmptyHint"));
    EmptyHint->setAlignment(Qt::AlignCenter);
    EmptyHint->setWordWrap(true);
    EmptyHint->setGeometry(40, PanelHeight / 2 - 30, PanelWidth - 80, 60);
    EmptyHint->setAttribute(Qt::WA_TransparentForMouseEvents);
    EmptyHint->hide();
    connect(this, &TForm_ActBtn::panelChanged, EmptyHint,
            [this] { EmptyHint->setVisible(buttons().size() <= 1); });

    ComPort1 = new TComPort(this);
    ComPort1->setObjectName(QStringLiteral("ComPort1"));
    Forms::instance().relayStates.follow(*ComPort1);
    ComPort1->setPort(QStringLiteral("COM4"));
    ComPort1->setBaudRate(br9600);
}

void TForm_ActBtn::applySettings(const PanelSettings &read, bool withMoveMainWindow)
{
    PanelSettings &settings = Forms::instance().settings;
    settings.CurrentPortName = read.CurrentPortName;
    settings.CurrentPortSpeed = read.CurrentPortSpeed;
    settings.ExitMenusEnabled = read.ExitMenusEnabled;
    settings.ReduceToTray = read.ReduceToTray;
    if (withMoveMainWindow)
        settings.MoveMainWindow = read.MoveMainWindow;
}

void TForm_ActBtn::Load()
{
    const PanelConfig config = readPanelConfig(ProfileFile::load(PanelFiles::config()), PanelReader::Panel);
    applySettings(config.settings, true);
    // Closed first, so that naming the port does not reopen it; the load opens it below.
    ComPort1->ClosePort();
    ComPort1->setPort(config.settings.CurrentPortName);
    ComPort1->setBaudRate(TComPort::BaudRateFromText(config.settings.CurrentPortSpeed));

    destroyButtons();
    destroyTexts();
    createButtons(config.buttons);
    for (size_t i = 0; i < config.texts.size(); ++i)
        PanelTexts.append(createText(config.texts[i], QStringLiteral("LeLabel%1").arg(i + 1)));
    if (config.wantsPicture)
        reloadPicture();
    paintBar();
    m_config = config;
    emit panelChanged();
    if (!config.warnings.isEmpty())
        showErrorReport(config.warnings.join(QLatin1Char('\n')), this);
    // The user's port is in the file that could not be read: the default device may be
    // anything (the console on many machines), so the port stays closed.
    if (!config.unreadable.isEmpty()) {
        showErrorReport(config.saveRefusal(PanelFiles::config()), this);
        return;
    }
    openPortOrShowPortForm();
}

void TForm_ActBtn::FactoryLoad()
{
    // Without a factory file to read there is nothing to restore: the panel stays as it is
    // rather than emptying itself.
    bool exists = false;
    const ProfileFile factory = ProfileFile::load(PanelFiles::factory(), &exists);
    if (!exists || factory.unreadable()) {
        QString message = QStringLiteral("Impossible de restaurer les réglages par défault");
        if (factory.unreadable())
            message += QStringLiteral("\n%1 : %2").arg(PanelFiles::factory(), factory.readError());
        showErrorReport(message, this);
        return;
    }
    PanelConfig config = readPanelConfig(factory, PanelReader::Factory);
    // The factory layout brings buttons, texts and flags; the port in force stays the running
    // one, so that a later save of the port settings does not move the board elsewhere.
    config.settings.CurrentPortName = Forms::instance().settings.CurrentPortName;
    config.settings.CurrentPortSpeed = Forms::instance().settings.CurrentPortSpeed;
    applySettings(config.settings, false);

    destroyButtons();
    destroyTexts();
    createButtons(config.buttons);
    for (size_t i = 0; i < config.texts.size(); ++i)
        PanelTexts.append(createText(config.texts[i], QStringLiteral("LeLabel%1").arg(i + 1)));
    paintBar();
    m_config = config;
    emit panelChanged();
}

void TForm_ActBtn::Rebuild(const std::vector<ButtonConfig> &buttons, const std::vector<TextConfig> &texts)
{
    destroyButtons();
    destroyTexts();
    createButtons(buttons);
    for (size_t i = 0; i < texts.size(); ++i) {
        QLabel *label = createText(texts[i], QStringLiteral("aLabel%1").arg(i + 1));
        PanelTexts.append(label);
    }
    reloadPicture();
    paintBar();
    m_config.settings = Forms::instance().settings;
    m_config.buttons = buttons;
    m_config.texts = texts;
    emit panelChanged();
}

void TForm_ActBtn::openPortOrShowPortForm()
{
    // The port is opened whatever the file lists: a panel of buttons without any text must
    // drive the board too.
    try {
        ComPort1->OpenPort();
    } catch (const std::exception &) {
        showPortForm();
    }
}

void TForm_ActBtn::showPortForm()
{
    // Owned by the main window (the panel itself when it stands alone), then hosted by the
    // panel area, which it fills; it tells the user what to check.
    auto *portForm = new TForm_CfgErreur(window());
    portForm->setParent(Panel1);
    Forms::instance().Form_CfgErreur = portForm;
    portForm->show();
    portForm->raise();
    ActivBtnP(0, 0, 0, 0, 0, 0, 0);
}

void TForm_ActBtn::destroyButtons()
{
    for (size_t k = 1; k < m_buttons.size(); ++k)
        delete m_buttons[k].button.data();
    m_buttons.assign(1, ButtonEntry{});
    m_currentButton = 0;
    m_gesture = {};
}

void TForm_ActBtn::destroyTexts()
{
    for (QLabel *label : std::as_const(PanelTexts))
        delete label;
    PanelTexts.clear();
}

void TForm_ActBtn::createButtons(const std::vector<ButtonConfig> &buttons)
{
    m_buttons.reserve(buttons.size() + 1);
    for (size_t i = 0; i < buttons.size(); ++i) {
        const ButtonConfig &config = buttons[i];
        auto *button = new TXiButton2(Panel1);
        button->setObjectName(QStringLiteral("Bouton%1").arg(i + 1));
        button->setGeometry(config.left, config.top, ButtonWidth, ButtonHeight);
        button->setCaption(config.caption);

        // A fresh entry: nothing of the slot's former occupant survives.
        ButtonEntry entry = makeButtonEntry(config);
        entry.button = button;
        button->setToolTip(entry.description);
        m_buttons.push_back(std::move(entry));

        connect(button, &TXiButton2::pressed, this,
                [this, button](Qt::MouseButton mouseButton) { BoutonMouseDown(button, mouseButton); });
        connect(button, &TXiButton2::released, this,
                [this, button](Qt::MouseButton mouseButton) { BoutonMouseUp(button, mouseButton); });
        connect(button, &TXiButton2::clicked, this, [this, button] { BoutonClick(button); });
        connect(button, &TXiButton2::focusEntered, this, [this, button] { BoutonEnter(button); });
        connect(button, &TXiButton2::mouseLeft, this, &TForm_ActBtn::BoutonMouseLeave);
        button->show();
    }
}

QLabel *TForm_ActBtn::createText(const TextConfig &text, const QString &name)
{
    auto *label = new QLabel(Panel1);
    label->setObjectName(name);
    label->setGeometry(0, 0, ButtonWidth, ButtonHeight);
    label->setText(text.text);
    // A label fits its text, so that no text is cut, and lets the picture show around the
    // letters: a box of the panel's colour behind each text reads as a selection.
    label->setTextFormat(Qt::PlainText);
    label->adjustSize();
    label->move(text.left, text.top);
    label->show();
    return label;
}

void TForm_ActBtn::reloadPicture()
{
    // A missing or unreadable picture keeps the one shown.
    const QImage picture = loadPanelPicture(PanelFiles::picture());
    if (!picture.isNull())
        m_picture = picture.convertToFormat(QImage::Format_RGB32);
}

void TForm_ActBtn::paintBar()
{
    // Without a picture the bar goes on a blank canvas the size of the image.
    if (m_picture.isNull()) {
        m_picture = QImage(PanelWidth, PanelHeight, QImage::Format_RGB32);
        m_picture.fill(Qt::white);
    }
    {
        QPainter painter(&m_picture);
        painter.fillRect(QRect(QPoint(111, 0), QPoint(491, 9)), colorFromBgr(BarColor));
    }
    Image1->setPixmap(QPixmap::fromImage(m_picture));
}

int TForm_ActBtn::indexOf(const QObject *button) const
{
    for (size_t k = m_buttons.size(); k-- > 1;) {
        if (m_buttons[k].button == button)
            return int(k);
    }
    return 0;
}

// Only the left mouse button operates a panel button; the others do nothing at all.
void TForm_ActBtn::BoutonMouseDown(TXiButton2 *button, Qt::MouseButton mouseButton)
{
    const int k = indexOf(button);
    if (mouseButton != Qt::LeftButton || k == 0)
        return;
    m_currentButton = k;
    const CommandSlots commands = m_buttons[size_t(k)].commands();
    m_gesture.press(k, *ComPort1, commands, reportingTo(window()));
}

void TForm_ActBtn::BoutonMouseUp(TXiButton2 *button, Qt::MouseButton mouseButton)
{
    const int k = indexOf(button);
    if (mouseButton != Qt::LeftButton || k == 0)
        return;
    m_currentButton = k;
    const CommandSlots commands = m_buttons[size_t(k)].commands();
    m_gesture.release(k, *ComPort1, commands, reportingTo(window()));
}

void TForm_ActBtn::BoutonClick(TXiButton2 *button)
{
    const int k = indexOf(button);
    if (k == 0)
        return;
    m_currentButton = k;
    const ButtonEntry &entry = m_buttons[size_t(k)];
    const int mode = entry.mode;
    const CommandSlots commands = entry.commands();
    m_gesture.click(k, *ComPort1, mode, commands, reportingTo(window()));
}

void TForm_ActBtn::BoutonEnter(TXiButton2 *button)
{
    if (const int k = indexOf(button))
        m_currentButton = k;
}

void TForm_ActBtn::BoutonMouseLeave()
{
    m_currentButton = 0;
}

void TForm_ActBtn::fireButton(int k)
{
    if (k < 1 || size_t(k) >= m_buttons.size())
        return;
    const ButtonEntry &entry = m_buttons[size_t(k)];
    Send::queue(*ComPort1, Send::step(entry.mode, entry.commands()), reportingTo(window()));
}

void TForm_ActBtn::installMessageHook()
{
    QPointer<TForm_ActBtn> &holder = hookHolder();
    if (holder && holder != this)
        holder->removeMessageHook();
    qApp->installEventFilter(m_hook.get());
    holder = this;
}

void TForm_ActBtn::removeMessageHook()
{
    if (qApp)
        qApp->removeEventFilter(m_hook.get());
    if (hookHolder() == this)
        hookHolder() = nullptr;
}

bool TForm_ActBtn::messageHookInstalled() const
{
    return hookHolder() == this;
}

TForm_ActBtn::KeyHookPause::KeyHookPause() : m_panel(hookHolder())
{
    if (m_panel)
        m_panel->removeMessageHook();
}

TForm_ActBtn::KeyHookPause::~KeyHookPause()
{
    if (m_panel && !hookHolder())
        m_panel->installMessageHook();
}

void TForm_ActBtn::TraiteMessages(const QKeyEvent &event)
{
    std::vector<int> shortcuts;
    shortcuts.reserve(m_buttons.size());
    for (const ButtonEntry &entry : m_buttons)
        shortcuts.push_back(entry.shortcut);
    const int k = buttonForShortcut(shortcuts, virtualKeyFor(event));
    if (k != 0) {
        const ButtonEntry &entry = m_buttons[size_t(k)];
        const int mode = entry.mode;
        const CommandSlots commands = entry.commands();
        Send::queue(*ComPort1, Send::shortcut(mode, commands), reportingTo(window()));
    }
    m_currentButton = 0;
}

void TForm_ActBtn::closeEvent(QCloseEvent *event)
{
    ComPort1->ClosePort();
    QWidget::closeEvent(event);
}

} // namespace zelvar
