#include "editors/Form_Config2.h"

#include "devices/ComPort.h"
#include "devices/SendSequences.h"
#include "editors/Form_CfgBtn.h"
#include "editors/Form_Macro.h"
#include "editors/PendingValues.h"
#include "forms/ErrorReport.h"
#include "forms/Forms.h"
#include "panel/Form_ActBtn.h"
#include "panel/KeyMapping.h"
#include "panel/ShortcutKeys.h"
#include "widgets/DegradeClass.h"
#include "widgets/Fonts.h"
#include "widgets/InputBlock.h"
#include "widgets/SystemColors.h"
#include "widgets/Windows1252Validator.h"
#include "widgets/XiButton.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolTip>

#include <exception>

namespace zelvar {

namespace {

constexpr int GradientStart = 8209740;
const char *const ModeItems[] = {"Null", "Imp", "On", "Off", "Bistable", "UsbUirt", "Macros"};
// Wider than the list of options, for the key field beside the shortcut list.
constexpr int ClientWidth = 334;
constexpr int ClientHeight = 329;
// The code of the prompt's three buttons, which the main window hands back here.
constexpr int ClosingQuestionCode = 7;

} // namespace

TForm_Config2::TForm_Config2(TForm_CfgBtn *editor)
    : QWidget(editor, Qt::Window | Qt::MSWindowsFixedSizeDialogHint)
    , m_editor(editor)
    , m_mainWindow(editor ? editor->parentWidget() : nullptr)
{
    setAttribute(Qt::WA_DeleteOnClose);
    showMessage = [this](const QString &text) { QMessageBox::information(this, windowTitle(), text); };
    createControls();
    FormCreate();
}

void TForm_Config2::createControls()
{
    setObjectName(QStringLiteral("Form_Config2"));
    setWindowTitle(QStringLiteral("Form_Config2"));
    setFont(uiFont());
    setFixedSize(ClientWidth, ClientHeight);

    DegradeClass1 = new TDegradeClass(this);
    DegradeClass1->setObjectName(QStringLiteral("DegradeClass1"));
    DegradeClass1->setStartColor(GradientStart);
    DegradeClass1->setEndColor(ColorCream);

    const auto pushButton = [this](const char *name, const QString &caption, QRect bounds, const QString &hint) {
        auto *button = new QPushButton(caption, this);
        button->setObjectName(QString::fromLatin1(name));
        button->setGeometry(bounds);
        button->setToolTip(hint);
        button->setAutoDefault(false);
        return button;
    };
    const auto edit = [this](const char *name, const QString &text, QRect bounds) {
        auto *control = new QLineEdit(text, this);
        control->setObjectName(QString::fromLatin1(name));
        control->setGeometry(bounds);
        control->setToolTip(text);
        return control;
    };

    Button1 = pushButton("Button1", QString(), QRect(24, 8, 225, 25), QStringLiteral("Test"));
    Edit1 = edit("Edit1", QStringLiteral("texte sur le bouton"), QRect(24, 39, 97, 21));
    Edit_desc = edit("Edit_desc", QStringLiteral("Description"), QRect(24, 66, 97, 21));
    keepToWindows1252(Edit1);
    keepToWindows1252(Edit_desc);

    Label1 = new QLabel(QStringLiteral("Options"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(172, 79);
    Label1->adjustSize();

    RadioGroup1 = new QGroupBox(this);
    RadioGroup1->setObjectName(QStringLiteral("RadioGroup1"));
    RadioGroup1->setGeometry(24, 103, 97, 154);
    RadioGroup1Items = new QButtonGroup(this);
    const int itemHeight = (154 - 16) / 7;
    for (int item = 0; item < 7; ++item) {
        auto *radio = new QRadioButton(QString::fromLatin1(ModeItems[item]), RadioGroup1);
        radio->setObjectName(QStringLiteral("RadioGroup1_%1").arg(item));
        radio->setGeometry(8, 10 + item * itemHeight, 85, itemHeight);
        RadioGroup1Items->addButton(radio, item);
    }

    Memo_UsbUirt = new QPlainTextEdit(QStringLiteral("Memo_UsbUirt"), this);
    Memo_UsbUirt->setObjectName(QStringLiteral("Memo_UsbUirt"));
    Memo_UsbUirt->setGeometry(135, 136, 104, 102);
    Memo_UsbUirt->hide();
    keepToWindows1252(Memo_UsbUirt);

    Combo_Code = new QComboBox(this);
    Combo_Code->setObjectName(QStringLiteral("Combo_Code"));
    Combo_Code->setGeometry(143, 173, 104, 21);
    Combo_Code->setPlaceholderText(QStringLiteral("Relais de sortie "));
    Combo_Code->addItem(QStringLiteral("       Off"));
    for (int relay = 1; relay <= 16; ++relay)
        Combo_Code->addItem(QStringLiteral("s%1").arg(relay));
    Combo_Code->setCurrentIndex(-1);
    Combo_Code->hide();

    Btn_macros = pushButton("Btn_macros", QStringLiteral("Options Macros"), QRect(143, 174, 90, 19),
                            QStringLiteral("Options Macros"));
    Btn_macros->hide();

    Combo_raccourcis = new QComboBox(this);
    Combo_raccourcis->setObjectName(QStringLiteral("Combo_raccourcis"));
    Combo_raccourcis->setGeometry(74, 269, 111, 21);
    Combo_raccourcis->setPlaceholderText(QStringLiteral("Raccourcis Clavier"));

    Edit_touche = new QLineEdit(this);
    Edit_touche->setObjectName(QStringLiteral("Edit_touche"));
    Edit_touche->setGeometry(191, 269, 135, 21);
    Edit_touche->setPlaceholderText(QStringLiteral("Appuyez sur la touche"));
    Edit_touche->setToolTip(Edit_touche->placeholderText());
    Edit_touche->setReadOnly(true);

    Btn_Appliquer = pushButton("Btn_Appliquer", QStringLiteral("Appliquer"), QRect(0, 296, 137, 25),
                               QStringLiteral("Appliquer"));
    Btn_enreg = pushButton("Btn_enreg", QStringLiteral("Enregistrer "), QRect(143, 296, 106, 25),
                           QStringLiteral("Enregistrer dans le ini"));
}

void TForm_Config2::FormCreate()
{
    const int current = m_editor ? m_editor->currentButton() : 0;
    Button1->setText(QStringLiteral("Bouton%1").arg(current));
    Combo_raccourcis->addItems(shortcutKeyNames());
    Combo_raccourcis->setCurrentIndex(-1);

    // The handlers run for what the user does and for what the loading shows, as the
    // edits' change notifications always did.
    connect(Edit1, &QLineEdit::textChanged, this, &TForm_Config2::Edit1Change);
    connect(Edit_desc, &QLineEdit::textChanged, this, &TForm_Config2::Edit_descChange);
    connect(Memo_UsbUirt, &QPlainTextEdit::textChanged, this, &TForm_Config2::Edit_UsbUirtChange);
    connect(RadioGroup1Items, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked)
            RadioGroup1Click();
    });
    connect(Combo_Code, &QComboBox::activated, this, &TForm_Config2::Combo_CodeSelect);
    connect(Combo_raccourcis, &QComboBox::activated, this, &TForm_Config2::Combo_raccourcisSelect);
    connect(Btn_Appliquer, &QPushButton::clicked, this, &TForm_Config2::Btn_AppliquerClick);
    connect(Btn_enreg, &QPushButton::clicked, this, &TForm_Config2::Btn_enregClick);
    connect(Btn_macros, &QPushButton::clicked, this, &TForm_Config2::Btn_macrosClick);
    connect(Button1, &QPushButton::clicked, this, &TForm_Config2::Button1Click);
    Button1->installEventFilter(this);
    Edit_touche->installEventFilter(this);

    Chargement2();
    Btn_Appliquer->setEnabled(true);
    // The editor and the main window wait for this dialog, painted as they are.
    new DialogHold(this, {m_editor.data(), m_mainWindow.data()});
}

EditButtonEntry *TForm_Config2::entry() const
{
    if (!m_editor)
        return nullptr;
    const int k = m_editor->currentButton();
    if (k < 1 || k > m_editor->buttonCount())
        return nullptr;
    return &m_editor->EditButtons[size_t(k)];
}

int TForm_Config2::selectedMode() const
{
    return RadioGroup1Items->checkedId();
}

void TForm_Config2::selectMode(int item)
{
    if (QAbstractButton *radio = RadioGroup1Items->button(item))
        radio->setChecked(true);
}

void TForm_Config2::Chargement2()
{
    EditButtonEntry *e = entry();
    if (!e)
        return;
    const std::optional<int> shortcutRow = shortcutKeyIndex(e->shortcutName);
    Combo_raccourcis->setCurrentIndex(shortcutRow.value_or(-1));
    if (!shortcutRow && !e->shortcutName.isEmpty())
        showUnlistedShortcut(e->shortcutName);
    // Long texts are shown from their start.
    Edit_desc->setText(e->description);
    Edit_desc->setCursorPosition(0);
    if (e->control) {
        Edit1->setText(e->control->Caption());
        Edit1->setCursorPosition(0);
        m_appliedCaption = e->control->Caption();
    }
    selectMode(e->mode);

    PendingValues &pending = PendingValues::shared();
    pending.setCommandsFor(e->mode, e->relay, e->prontoCode);
    if (e->mode == 5) {
        Memo_UsbUirt->show();
        Memo_UsbUirt->setPlainText(e->prontoCode);
        Combo_Code->hide();
    } else if (e->mode >= 1 && e->mode <= 4) {
        Combo_Code->show();
    }
    pending.relay = e->relay;
    pending.description = e->description;
    if (e->relay >= 1 && e->relay <= 16)
        Combo_Code->setCurrentIndex(e->relay);
}

void TForm_Config2::showUnlistedShortcut(const QString &name)
{
    // A name the list does not hold (written by hand, or by another program) is still shown,
    // as plain text rather than greyed like the list's prompt.
    Combo_raccourcis->setPlaceholderText(name);
    QPalette shown = Combo_raccourcis->palette();
    shown.setColor(QPalette::PlaceholderText, shown.color(QPalette::ButtonText));
    Combo_raccourcis->setPalette(shown);
}

void TForm_Config2::RadioGroup1Click()
{
    const int item = selectedMode();
    PendingValues &pending = PendingValues::shared();
    Combo_Code->setCurrentIndex(0);
    pending.modeChosen(item);
    Btn_macros->hide();
    Memo_UsbUirt->hide();
    Combo_Code->hide();
    if (item >= 1 && item <= 4) {
        Combo_Code->show();
    } else if (item == 5) {
        Memo_UsbUirt->show();
        Memo_UsbUirt->setPlainText(pending.prontoCode);
    }
    Btn_Appliquer->setEnabled(true);
}

void TForm_Config2::Combo_CodeSelect(int index)
{
    PendingValues &pending = PendingValues::shared();
    pending.relayChosen(index, Memo_UsbUirt->toPlainText());
    if (pending.mode >= 1 && pending.mode <= 4) {
        Memo_UsbUirt->hide();
        Combo_Code->show();
    } else if (pending.mode == 5) {
        Memo_UsbUirt->show();
        Combo_Code->hide();
    }
}

void TForm_Config2::Edit1Change()
{
    if (EditButtonEntry *e = entry(); e && e->control)
        e->control->setCaption(Edit1->text());
    Btn_Appliquer->setEnabled(true);
}

void TForm_Config2::Edit_descChange()
{
    PendingValues::shared().description = Edit_desc->text();
    Btn_Appliquer->setEnabled(true);
}

void TForm_Config2::Edit_UsbUirtChange()
{
    PendingValues &pending = PendingValues::shared();
    pending.prontoCode = Memo_UsbUirt->toPlainText();
    pending.third = encodeWindows1252(pending.prontoCode);
    Btn_Appliquer->setEnabled(true);
}

void TForm_Config2::Combo_raccourcisSelect(int index)
{
    EditButtonEntry *e = entry();
    const std::span<const ShortcutKey> keys = shortcutKeys();
    if (!e || index < 0 || size_t(index) >= keys.size())
        return;
    const int code = keys[size_t(index)].code;
    // A key another button holds is refused: the button keeps the shortcut it had, and the
    // message names the holder so that the user knows where to free it.
    for (int k = 1; code != 0 && k <= m_editor->buttonCount(); ++k) {
        const EditButtonEntry &other = m_editor->EditButtons[size_t(k)];
        if (k == m_editor->currentButton() || other.shortcut != code)
            continue;
        const QString caption = other.control ? other.control->Caption() : QString();
        showMessage(QStringLiteral("Un autre bouton a deja ce racourci ! ")
                    + QStringLiteral(u"(bouton %1 « %2 »)").arg(k).arg(caption));
        const std::optional<int> kept = shortcutKeyIndex(e->shortcutName);
        Combo_raccourcis->setCurrentIndex(kept.value_or(-1));
        return;
    }
    e->shortcut = code;
    e->shortcutName = QString::fromLatin1(keys[size_t(index)].name.data(), qsizetype(keys[size_t(index)].name.size()));
}

void TForm_Config2::Btn_AppliquerClick()
{
    EditButtonEntry *e = entry();
    if (!e)
        return;
    const PendingValues &pending = PendingValues::shared();
    const int item = selectedMode();
    // "Macros" keeps what the button sends: its mode, its relay and its code.
    const bool macros = item == Macros;
    if (!macros)
        e->relay = pending.relay;
    e->description = pending.description;
    if (e->control)
        e->control->setToolTip(pending.description);
    if (item >= Null && item <= UsbUirt)
        e->mode = item;
    if (e->mode == UsbUirt && !macros)
        e->prontoCode = pending.prontoCode;
    if (e->control)
        m_appliedCaption = e->control->Caption();
    m_editor->Btn_AppliquerClick();
    Btn_Appliquer->setEnabled(false);
}

bool TForm_Config2::hasUnappliedChoices() const
{
    const EditButtonEntry *e = entry();
    if (!e)
        return false;
    if (e->control && e->control->Caption() != m_appliedCaption)
        return true;
    const PendingValues &pending = PendingValues::shared();
    if (pending.description != e->description)
        return true;
    const int item = selectedMode();
    if (item == Macros)
        return false;
    const int mode = item >= Null && item <= UsbUirt ? item : e->mode;
    return mode != e->mode || pending.relay != e->relay
           || (mode == UsbUirt && pending.prontoCode != e->prontoCode);
}

void TForm_Config2::dropChoices()
{
    EditButtonEntry *e = entry();
    if (!e)
        return;
    if (e->control)
        e->control->setCaption(m_appliedCaption);
    // The test button and the next opening start again from the button as it stands.
    PendingValues &pending = PendingValues::shared();
    pending.setCommandsFor(e->mode, e->relay, e->prontoCode);
    if (e->mode >= Null && e->mode <= UsbUirt)
        pending.mode = e->mode;
    pending.relay = e->relay;
    pending.description = e->description;
    pending.prontoCode = e->prontoCode;
}

void TForm_Config2::closingAnswered(ClosingAnswer answer)
{
    switch (answer) {
    case ClosingAnswer::Apply:
        Btn_AppliquerClick();
        closeWithoutAsking();
        break;
    case ClosingAnswer::Drop:
        dropChoices();
        closeWithoutAsking();
        break;
    case ClosingAnswer::Stay:
        raise();
        activateWindow();
        break;
    }
}

void TForm_Config2::closeWithoutAsking()
{
    m_closeWithoutAsking = true;
    close();
}

void TForm_Config2::Btn_enregClick()
{
    if (m_editor && m_editor->save()) {
        if (const EditButtonEntry *e = entry(); e && e->control)
            m_appliedCaption = e->control->Caption();
    }
}

void TForm_Config2::Btn_macrosClick()
{
    auto *macros = new TForm_Macro(this);
    macros->show();
}

void TForm_Config2::send(SendingSequence sequence)
{
    TForm_ActBtn *panel = Forms::instance().Form_ActBtn;
    if (!panel)
        return;
    Send::queue(*panel->ComPort1, std::move(sequence), [parent = QPointer<QWidget>(this)](const SendResult &result) {
        if (result.error)
            showErrorReport(QString::fromUtf8(result.error->what()), parent);
    });
}

void TForm_Config2::Button1MouseDown()
{
    const PendingValues &pending = PendingValues::shared();
    send(Send::press({pending.first, pending.second, pending.third}));
}

void TForm_Config2::Button1MouseUp()
{
    const PendingValues &pending = PendingValues::shared();
    send(Send::release({pending.first, pending.second, pending.third}));
}

void TForm_Config2::Button1Click()
{
    // The test sends the pending texts as the button would once applied: with the mode
    // shown ("Macros" keeps the stored one), so that an infrared code never goes down the
    // serial line and a relay command is never handed to the transmitter.
    const EditButtonEntry *e = entry();
    const int shown = selectedMode();
    const int mode = shown >= Null && shown <= UsbUirt ? shown : (e ? e->mode : Null);
    const PendingValues &pending = PendingValues::shared();
    send(Send::click(mode, {pending.first, pending.second, pending.third}));
}

void TForm_Config2::Edit_toucheKeyPress(const QKeyEvent &event)
{
    if (event.isAutoRepeat())
        return;
    const int code = virtualKeyFor(event);
    const std::optional<QString> name = code != 0 ? shortcutNameForCode(code) : std::nullopt;
    const std::optional<int> row = name ? shortcutKeyIndex(*name) : std::nullopt;
    if (!row) {
        const QString unnamed = QStringLiteral("Cette touche n'a pas de nom dans la liste");
        Edit_touche->setToolTip(unnamed);
        QToolTip::showText(Edit_touche->mapToGlobal(QPoint(0, Edit_touche->height())), unnamed, Edit_touche);
        return;
    }
    Edit_touche->setToolTip(Edit_touche->placeholderText());
    QToolTip::hideText();
    // As if chosen in the list: stored at once, refused when another button has it.
    Combo_raccourcis->setCurrentIndex(*row);
    Combo_raccourcisSelect(*row);
}

bool TForm_Config2::eventFilter(QObject *watched, QEvent *event)
{
    // Every key pressed in the key field is a choice, Tab and Escape included.
    if (watched == Edit_touche) {
        if (event->type() == QEvent::ShortcutOverride) {
            event->accept();
            return true;
        }
        if (event->type() == QEvent::KeyPress) {
            Edit_toucheKeyPress(*static_cast<QKeyEvent *>(event));
            return true;
        }
    }
    // Every mouse button presses and releases the test button; a left release inside then
    // clicks it.
    if (watched == Button1 && Button1->isEnabled()) {
        if (event->type() == QEvent::MouseButtonPress)
            Button1MouseDown();
        else if (event->type() == QEvent::MouseButtonRelease)
            Button1MouseUp();
    }
    return QWidget::eventFilter(watched, event);
}

void TForm_Config2::closeEvent(QCloseEvent *event)
{
    if (!m_closeWithoutAsking && hasUnappliedChoices()) {
        event->ignore();
        // Asked once: another close while the question is up waits for its answer.
        const Forms &forms = Forms::instance();
        if (!forms.formDynamique.isNull())
            return;
        requestPrompt(QStringLiteral("Proprietes"), QStringLiteral("Oui"), QStringLiteral("Annuler"),
                      QStringLiteral("Non"), QStringLiteral("Appliquer les modifications ?"), ClosingQuestionCode,
                      ClosingQuestionCode, ClosingQuestionCode, true, true, true);
        if (!forms.formDynamique.isNull())
            return;
        // No main window to ask through: closing goes ahead as it always did.
    }
    QWidget::closeEvent(event);
}

} // namespace zelvar
