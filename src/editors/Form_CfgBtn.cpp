#include "editors/Form_CfgBtn.h"

#include "common/Colors.h"
#include "editors/Form_Config2.h"
#include "editors/Form_PhotoZel.h"
#include "widgets/UpDown.h"
#include "forms/Forms.h"
#include "forms/LayoutEditorLink.h"
#include "panel/Form_ActBtn.h"
#include "widgets/DegradeClass.h"
#include "widgets/Fonts.h"
#include "widgets/InputBlock.h"
#include "widgets/SystemColors.h"
#include "widgets/Windows1252Validator.h"
#include "widgets/XiButton.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileSystemWatcher>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QHash>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

namespace zelvar {

namespace {

constexpr int ClientWidth = 633;
constexpr int ClientHeight = 498;
constexpr int GradientStart = 8209740;
constexpr int OliveColor = 0x008080;
constexpr int FaceColor = 13036799;
constexpr int SelectedColor = 255;
constexpr int ControlWidth = 75;
constexpr int ControlHeight = 25;
constexpr int NewButtonLeft = 60;
// A dragged or nudged control keeps this much of itself inside the panel, so it can be seen
// and taken again.
constexpr int KeptInside = 8;
// A picture file being written is read once its writer has been quiet this long.
constexpr int PictureSettleMs = 100;

const QString TopCaption = QStringLiteral("Hauteur");
const QString LeftCaption = QStringLiteral("Gauche");
const QString HideFirstCaption = QStringLiteral("Cacher la fenetre des boutons");
// What the item does next, by whether the main window is shown.
const QString HideCaptions[2] = {QStringLiteral("Retablir la fenetre pricipale"),
                                 QStringLiteral("Cacher la fenetre principale")};

QAction *menuItem(QMenu *menu, const char *name, const QString &caption)
{
    QAction *action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

} // namespace

TForm_CfgBtn::TForm_CfgBtn(QWidget *owner)
    : QWidget(owner, Qt::Window | Qt::MSWindowsFixedSizeDialogHint)
    , m_mainWindow(owner)
{
    Forms::instance().Form_CfgBtn = this;
    showMessage = [this](const QString &title, const QString &text) {
        QMessageBox::warning(this, title, text);
    };
    createControls();
    createMenus();
    FormCreate();
    watchPicture();
    // The hide item follows the main window, however it comes to be hidden or shown.
    if (m_mainWindow) {
        m_mainWindow->installEventFilter(this);
        showHideItem();
    }
    // "Enregistrer" of the closing question saves, then confirms the closing: when the save
    // did not happen the editor stays open, or the edits would be lost with it.
    LayoutEditorLink::instance().attach(
        this, [this] { m_promptSaveFailed = !save(); },
        [this] {
            m_closingConfirmed = !m_promptSaveFailed;
            m_promptSaveFailed = false;
        });
}

TForm_CfgBtn::~TForm_CfgBtn()
{
    // The link's commands call into this window: nobody may reach them once it is gone.
    if (LayoutEditorLink &link = LayoutEditorLink::instance(); link.window == this || !link.window)
        link.attach(nullptr, {}, {});
    // Closing re-attached the key hook; an editor destroyed without closing must too.
    if (TForm_ActBtn *panel = Forms::instance().Form_ActBtn; panel && !panel->messageHookInstalled())
        panel->installMessageHook();
}

void TForm_CfgBtn::createControls()
{
    setObjectName(QStringLiteral("Form_CfgBtn"));
    setWindowTitle(QStringLiteral("Configuration"));
    setFont(uiFont());
    setFixedSize(ClientWidth, ClientHeight);
    QPalette windowPalette = palette();
    windowPalette.setColor(QPalette::Window, colorFromBgr(OliveColor));
    setPalette(windowPalette);
    setAutoFillBackground(true);

    DegradeClass1 = new TDegradeClass(this);
    DegradeClass1->setObjectName(QStringLiteral("DegradeClass1"));
    DegradeClass1->setStartColor(GradientStart);
    DegradeClass1->setEndColor(SystemColor::BtnHighlight);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(8, 65, 615, 367);
    QPalette panelPalette = Panel1->palette();
    panelPalette.setColor(QPalette::Window, Qt::black);
    Panel1->setPalette(panelPalette);
    Panel1->setAutoFillBackground(true);

    Image_Activateur = new QLabel(Panel1);
    Image_Activateur->setObjectName(QStringLiteral("Image_Activateur"));
    Image_Activateur->setGeometry(8, 9, 600, 350);
    Image_Activateur->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    Btn_Appliquer = new QPushButton(QStringLiteral("Appliquer"), this);
    Btn_Appliquer->setObjectName(QStringLiteral("Btn_Appliquer"));
    Btn_Appliquer->setGeometry(24, 438, 75, 25);
    connect(Btn_Appliquer, &QPushButton::clicked, this, &TForm_CfgBtn::Btn_AppliquerClick);

    const auto upDown = [this](const char *name, QRect bounds, int max, void (TForm_CfgBtn::*handler)()) {
        auto *control = new TUpDown(this);
        control->setObjectName(QString::fromLatin1(name));
        control->setGeometry(bounds);
        control->setRange(0, max);
        connect(control, &TUpDown::Click, this, handler);
        return control;
    };
    const auto edit = [this](const char *name, QRect bounds, const QString &text) {
        auto *control = new QLineEdit(text, this);
        control->setObjectName(QString::fromLatin1(name));
        control->setGeometry(bounds);
        return control;
    };
    UpDown_Top = upDown("UpDown_Top", QRect(130, 438, 17, 25), 390, &TForm_CfgBtn::UpDown_TopClick);
    Edit_BtnTop = edit("Edit_BtnTop", QRect(153, 438, 49, 21), TopCaption);
    UpDown_Left = upDown("UpDown_Left", QRect(208, 438, 17, 25), 600, &TForm_CfgBtn::UpDown_LeftClick);
    Edit_BtnLeft = edit("Edit_BtnLeft", QRect(223, 438, 49, 21), LeftCaption);
}

void TForm_CfgBtn::createMenus()
{
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    Btn_Supprimer = menuItem(PopupMenu1, "Btn_Supprimer", QStringLiteral("Supprimer le bouton"));
    Proprietes = menuItem(PopupMenu1, "Proprietes", QStringLiteral("Proprietes"));
    connect(Btn_Supprimer, &QAction::triggered, this, &TForm_CfgBtn::Btn_SupprimerClick);
    connect(Proprietes, &QAction::triggered, this, &TForm_CfgBtn::ProprietesClick);

    PopupMenu2 = new QMenu(this);
    PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
    Enregistrer_CfgBtn = menuItem(PopupMenu2, "Enregistrer_CfgBtn", QStringLiteral("Enregistrer"));
    Ajouterunbouton1 = menuItem(PopupMenu2, "Ajouterunbouton1", QStringLiteral("Ajouter un bouton"));
    Ajouteruntexte1 = menuItem(PopupMenu2, "Ajouteruntexte1", QStringLiteral("Ajouter un texte"));
    Btn_HideFenetre = menuItem(PopupMenu2, "Btn_HideFenetre", HideFirstCaption);
    Editerlimagedefond1 = menuItem(PopupMenu2, "Editerlimagedefond1", QStringLiteral("Editer l'image de fond"));
    Proprietesgenerales1 = menuItem(PopupMenu2, "Proprietesgenerales1", QStringLiteral("Proprietes generales"));
    // Nothing edits the background picture yet.
    connect(Enregistrer_CfgBtn, &QAction::triggered, this, &TForm_CfgBtn::Enregistrer_CfgBtnClick);
    connect(Ajouterunbouton1, &QAction::triggered, this, &TForm_CfgBtn::Ajouterunbouton1Click);
    connect(Ajouteruntexte1, &QAction::triggered, this, &TForm_CfgBtn::Ajouteruntexte1Click);
    connect(Btn_HideFenetre, &QAction::triggered, this, &TForm_CfgBtn::Btn_HideFenetreClick);
    connect(Editerlimagedefond1, &QAction::triggered, this, &TForm_CfgBtn::Editerlimagedefond1Click);
    connect(Proprietesgenerales1, &QAction::triggered, this, &TForm_CfgBtn::Proprietesgenerales1Click);

    PopupMenu3 = new QMenu(this);
    PopupMenu3->setObjectName(QStringLiteral("PopupMenu3"));
    Suprimmerletexte1 = menuItem(PopupMenu3, "Suprimmerletexte1", QStringLiteral("Suprimmer le texte"));
    connect(Suprimmerletexte1, &QAction::triggered, this, &TForm_CfgBtn::Suprimmerletexte1Click);
}

void TForm_CfgBtn::FormCreate()
{
    m_currentButton = m_buttonCounter = m_currentText = m_textCounter = 0;
    m_closingConfirmed = false;
    EditButtons.assign(1, EditButtonEntry{});
    EditTexts.assign(1, EditTextEntry{});
    Chargement2();
    if (TForm_ActBtn *panel = Forms::instance().Form_ActBtn)
        panel->removeMessageHook();
}

void TForm_CfgBtn::Chargement2()
{
    // Stamped before it is read: a picture saved meanwhile is read again.
    m_pictureStamp = fileStamp(PanelFiles::picture());
    const EditorPanel loaded = loadEditorPanel(PanelFiles::config(), PanelFiles::picture());
    m_fileStatus = loaded.status;

    for (const ButtonConfig &read : loaded.config.buttons) {
        ++m_currentButton;
        ++m_buttonCounter;
        EditButtonEntry entry;
        entry.mode = read.mode;
        entry.relay = read.relay;
        entry.prontoCode = read.prontoCode;
        TXiButton *button = createButton(m_buttonCounter, m_buttonCounter * NewButtonLeft);
        button->move(read.left, read.top);
        button->setCaption(read.caption);
        entry.description = read.description;
        entry.shortcut = read.shortcut;
        entry.shortcutName = read.shortcutName;
        entry.id = read.id;
        button->setToolTip(read.description);
        entry.control = button;
        EditButtons.push_back(std::move(entry));
        m_buttonsEverHeld = true;
    }
    for (const TextConfig &read : loaded.config.texts) {
        ++m_currentText;
        ++m_textCounter;
        QLineEdit *text = createText(m_textCounter, m_textCounter * NewButtonLeft);
        text->setText(read.text);
        text->setCursorPosition(0); // a long text shows its start
        text->move(read.left, read.top);
        EditTexts.push_back(EditTextEntry{text});
        m_textsEverHeld = true;
    }
    setPicture(loaded.picture);
    paintCurrentButton();
}

TXiButton *TForm_CfgBtn::createButton(int counter, int left)
{
    auto *button = new TXiButton(Panel1);
    const QString name = QStringLiteral("Bouton%1").arg(counter);
    button->setObjectName(name);
    button->setCaption(name);
    button->setGeometry(left, 0, ControlWidth, ControlHeight);
    button->setContextMenuPolicy(Qt::CustomContextMenu);
    // The menu acts on the current button: the one it is opened on becomes current first.
    connect(button, &QWidget::customContextMenuRequested, this, [this, button](const QPoint &pos) {
        for (int k = 1; k <= buttonCount(); ++k)
            if (EditButtons[size_t(k)].control == button)
                selectButton(k);
        PopupMenu1->popup(button->mapToGlobal(pos));
    });
    button->installEventFilter(this);
    button->show();
    return button;
}

QLineEdit *TForm_CfgBtn::createText(int counter, int left)
{
    const QString name = QStringLiteral("Texte%1").arg(counter);
    auto *text = new QLineEdit(name, Panel1);
    text->setObjectName(name);
    text->setGeometry(left, 0, ControlWidth, ControlHeight);
    keepToWindows1252(text);
    text->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(text, &QWidget::customContextMenuRequested, this,
            [this, text](const QPoint &pos) { PopupMenu3->popup(text->mapToGlobal(pos)); });
    text->installEventFilter(this);
    text->show();
    return text;
}

void TForm_CfgBtn::BtnAdd2()
{
    ++m_currentButton;
    ++m_buttonCounter;
    EditButtonEntry entry;
    entry.control = createButton(m_buttonCounter, NewButtonLeft);
    entry.control->setToolTip(entry.description);
    EditButtons.push_back(std::move(entry));
    m_buttonsEverHeld = true;
}

void TForm_CfgBtn::LabelAdd2()
{
    ++m_currentText;
    ++m_textCounter;
    EditTexts.push_back(EditTextEntry{createText(m_textCounter, 0)});
    m_textsEverHeld = true;
}

void TForm_CfgBtn::Ajouterunbouton1Click()
{
    if (m_currentButton > 0) {
        m_currentButton = buttonCount();
    } else {
        m_currentButton = 0;
        m_buttonCounter = 0;
    }
    BtnAdd2();
    // The new button is the current one: shown as such, as a click would show it.
    selectButton(m_currentButton);
}

void TForm_CfgBtn::Ajouteruntexte1Click()
{
    // Texts loaded from a file without buttons count as well: starting again from 0 would
    // name a second "Texte1".
    if (m_currentButton > 0 || textCount() > 0) {
        m_currentText = textCount();
    } else {
        m_currentText = 0;
        m_textCounter = 0;
    }
    LabelAdd2();
}

TXiButton *TForm_CfgBtn::currentButtonControl() const
{
    if (m_currentButton < 1 || m_currentButton > buttonCount())
        return nullptr;
    return EditButtons[size_t(m_currentButton)].control;
}

QLineEdit *TForm_CfgBtn::currentTextControl() const
{
    if (m_currentText < 1 || m_currentText > textCount())
        return nullptr;
    return EditTexts[size_t(m_currentText)].control;
}

void TForm_CfgBtn::DeColorierBtn2()
{
    for (size_t k = 1; k < EditButtons.size(); ++k) {
        if (EditButtons[k].control)
            EditButtons[k].control->setColorFace(FaceColor);
    }
}

void TForm_CfgBtn::paintCurrentButton()
{
    if (TXiButton *button = currentButtonControl())
        button->setColorFace(SelectedColor);
}

void TForm_CfgBtn::selectButton(int k)
{
    m_currentButton = k;
    TXiButton *button = currentButtonControl();
    if (!button)
        return;
    // As a left press does: the focused control is the one the up-downs move.
    button->setFocus(Qt::MouseFocusReason);
    DeColorierBtn2();
    paintCurrentButton();
    showPlace(button);
}

void TForm_CfgBtn::showPlace(const QWidget *control)
{
    const QRect range = placeRange(control);
    UpDown_Left->setRange(range.left(), range.right());
    UpDown_Top->setRange(range.top(), range.bottom());
    UpDown_Left->setPosition(control->x());
    UpDown_Top->setPosition(control->y());
    Edit_BtnLeft->setText(QString::number(control->x()));
    Edit_BtnTop->setText(QString::number(control->y()));
}

void TForm_CfgBtn::OnClick2()
{
    for (int k = 1; k <= buttonCount(); ++k) {
        if (EditButtons[size_t(k)].control && EditButtons[size_t(k)].control->hasFocus()) {
            DeColorierBtn2();
            m_currentButton = k;
        }
    }
    if (TXiButton *button = currentButtonControl()) {
        paintCurrentButton();
        showPlace(button);
    }
}

void TForm_CfgBtn::OnEnterLabel1()
{
    for (int k = 1; k <= textCount(); ++k) {
        if (EditTexts[size_t(k)].control && EditTexts[size_t(k)].control->hasFocus())
            m_currentText = k;
    }
    if (QLineEdit *text = currentTextControl())
        showPlace(text);
}

QRect TForm_CfgBtn::placeRange(const QWidget *control) const
{
    return QRect(QPoint(KeptInside - control->width(), KeptInside - control->height()),
                 QPoint(Panel1->width() - KeptInside, Panel1->height() - KeptInside));
}

void TForm_CfgBtn::dragTo(QWidget *control, const QPoint &globalPos)
{
    const QPoint place = Panel1->mapFromGlobal(globalPos) - m_grabOffset;
    const QRect range = placeRange(control);
    control->move(std::clamp(place.x(), range.left(), range.right()),
                  std::clamp(place.y(), range.top(), range.bottom()));
}

void TForm_CfgBtn::MoveP(const QPoint &globalPos)
{
    DeColorierBtn2();
    TXiButton *button = currentButtonControl();
    if (!button)
        return;
    dragTo(button, globalPos);
    paintCurrentButton();
    showPlace(button);
}

void TForm_CfgBtn::MoveLabel(const QPoint &globalPos)
{
    QLineEdit *text = currentTextControl();
    if (!text)
        return;
    dragTo(text, globalPos);
    showPlace(text);
}

bool TForm_CfgBtn::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_mainWindow && (event->type() == QEvent::Show || event->type() == QEvent::Hide)) {
        showHideItem();
        return QWidget::eventFilter(watched, event);
    }
    const bool isButton = qobject_cast<TXiButton *>(watched) != nullptr;
    const bool isText = !isButton && qobject_cast<QLineEdit *>(watched) != nullptr;
    if (!isButton && !isText)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::FocusIn:
        if (isButton)
            OnClick2();
        else
            OnEnterLabel1();
        break;
    case QEvent::MouseButtonPress: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton)
            m_grabOffset = mouse->position().toPoint();
        break;
    }
    case QEvent::MouseMove: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (!(mouse->buttons() & Qt::LeftButton))
            break;
        if (isButton)
            MoveP(mouse->globalPosition().toPoint());
        else
            MoveLabel(mouse->globalPosition().toPoint());
        // A held mouse moves the control; it does not select letters of a text.
        return true;
    }
    case QEvent::KeyPress: {
        // The arrows nudge the selected button a pixel at a time; in a text they move the
        // cursor, so a text is nudged with Ctrl held.
        auto *key = static_cast<QKeyEvent *>(event);
        static const QHash<int, QPoint> steps{{Qt::Key_Left, {-1, 0}},
                                              {Qt::Key_Right, {1, 0}},
                                              {Qt::Key_Up, {0, -1}},
                                              {Qt::Key_Down, {0, 1}}};
        const auto step = steps.constFind(key->key());
        if (step == steps.constEnd() || (isText && !(key->modifiers() & Qt::ControlModifier)))
            break;
        if (step->x()) {
            UpDown_Left->setPosition(UpDown_Left->Position() + step->x());
            UpDown_LeftClick();
        } else {
            UpDown_Top->setPosition(UpDown_Top->Position() + step->y());
            UpDown_TopClick();
        }
        return true;
    }
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void TForm_CfgBtn::UpDown_LeftClick()
{
    if (QLineEdit *text = currentTextControl(); text && text->hasFocus()) {
        text->move(UpDown_Left->Position(), text->y());
        Edit_BtnLeft->setText(QString::number(text->x()));
    } else if (TXiButton *button = currentButtonControl(); button && button->hasFocus()) {
        button->move(UpDown_Left->Position(), button->y());
        Edit_BtnLeft->setText(QString::number(button->x()));
    }
}

void TForm_CfgBtn::UpDown_TopClick()
{
    if (QLineEdit *text = currentTextControl(); text && text->hasFocus()) {
        text->move(text->x(), UpDown_Top->Position());
        Edit_BtnTop->setText(QString::number(text->y()));
    } else if (TXiButton *button = currentButtonControl(); button && button->hasFocus()) {
        button->move(button->x(), UpDown_Top->Position());
        Edit_BtnTop->setText(QString::number(button->y()));
    }
}

void TForm_CfgBtn::Btn_SupprimerClick()
{
    if (!currentButtonControl())
        return;
    DeColorierBtn2();
    delete EditButtons[size_t(m_currentButton)].control.data();
    EditButtons.erase(EditButtons.begin() + m_currentButton);
    // After the last entry went, the index names nothing: the one before it becomes current,
    // or the properties and the nudges would reach past the list.
    m_currentButton = std::min(m_currentButton, buttonCount());
    if (currentButtonControl()) {
        selectButton(m_currentButton);
    } else {
        Edit_BtnTop->setText(TopCaption);
        Edit_BtnLeft->setText(LeftCaption);
    }
}

void TForm_CfgBtn::Suprimmerletexte1Click()
{
    if (!currentTextControl())
        return;
    delete EditTexts[size_t(m_currentText)].control.data();
    EditTexts.erase(EditTexts.begin() + m_currentText);
    m_currentText = textCount();
}

std::vector<ButtonConfig> TForm_CfgBtn::buttonConfigs() const
{
    std::vector<ButtonConfig> configs;
    configs.reserve(EditButtons.size());
    for (size_t k = 1; k < EditButtons.size(); ++k) {
        const EditButtonEntry &entry = EditButtons[k];
        ButtonConfig config;
        config.mode = entry.mode;
        config.relay = entry.relay;
        config.prontoCode = entry.prontoCode;
        config.description = entry.description;
        config.shortcut = entry.shortcut;
        config.shortcutName = entry.shortcutName;
        config.id = entry.id;
        if (entry.control) {
            config.left = entry.control->x();
            config.top = entry.control->y();
            config.caption = entry.control->Caption();
        }
        configs.push_back(std::move(config));
    }
    return configs;
}

std::vector<TextConfig> TForm_CfgBtn::textConfigs() const
{
    std::vector<TextConfig> configs;
    configs.reserve(EditTexts.size());
    for (size_t k = 1; k < EditTexts.size(); ++k) {
        const QLineEdit *text = EditTexts[k].control;
        if (text)
            configs.push_back(TextConfig{text->text(), text->x(), text->y()});
        else
            configs.push_back(TextConfig{});
    }
    return configs;
}

void TForm_CfgBtn::Btn_AppliquerClick()
{
    if (TForm_ActBtn *panel = Forms::instance().Form_ActBtn)
        panel->Rebuild(buttonConfigs(), textConfigs());
}

void TForm_CfgBtn::setPicture(const QImage &picture)
{
    m_picture = picture;
    if (picture.isNull()) {
        Image_Activateur->clear();
        m_pictureKey = 0;
        return;
    }
    Image_Activateur->setPixmap(QPixmap::fromImage(picture));
    m_pictureKey = Image_Activateur->pixmap().cacheKey();
}

QImage TForm_CfgBtn::picture() const
{
    const QPixmap shown = Image_Activateur->pixmap();
    if (shown.isNull())
        return {};
    if (shown.cacheKey() == m_pictureKey)
        return m_picture;
    return shown.toImage();
}

bool TForm_CfgBtn::pictureChanged() const
{
    const QPixmap shown = Image_Activateur->pixmap();
    if (shown.isNull() || shown.cacheKey() == m_pictureKey)
        return false;
    // The general settings' "Annuler" puts the file's picture back as another pixmap.
    return !samePicture(shown.toImage(), m_picture);
}

void TForm_CfgBtn::watchPicture()
{
    // The picture file may be replaced under another name and renamed over it: the folder is
    // watched as well as the file.
    m_pictureWatch = new QFileSystemWatcher(this);
    m_pictureWatch->addPath(QDir::currentPath());
    auto *settle = new QTimer(this);
    settle->setSingleShot(true);
    settle->setInterval(PictureSettleMs);
    connect(settle, &QTimer::timeout, this, &TForm_CfgBtn::reloadReplacedPicture);
    connect(m_pictureWatch, &QFileSystemWatcher::directoryChanged, settle, qOverload<>(&QTimer::start));
    connect(m_pictureWatch, &QFileSystemWatcher::fileChanged, settle, qOverload<>(&QTimer::start));
    reloadReplacedPicture();
}

void TForm_CfgBtn::reloadReplacedPicture()
{
    const QString path = PanelFiles::picture();
    const FileStamp now = fileStamp(path);
    if (now.exists && m_pictureWatch && !m_pictureWatch->files().contains(path))
        m_pictureWatch->addPath(path);
    if (now == m_pictureStamp)
        return;
    m_pictureStamp = now;
    // Another program saved the picture (the image editor, for one): it is the one to show
    // and to keep. A file it is still writing, or one gone, leaves the picture shown.
    const QImage replaced = loadPanelPicture(path);
    if (!replaced.isNull())
        setPicture(replaced);
}

bool TForm_CfgBtn::save()
{
    if (const std::optional<QString> refusal = saveRefusal(m_fileStatus)) {
        showMessage(QStringLiteral("Enregistrement impossible"), *refusal);
        return false;
    }
    PanelConfig config;
    config.settings = Forms::instance().settings;
    config.buttons = buttonConfigs();
    config.texts = textConfigs();
    config.buttonsEverHeld = m_buttonsEverHeld;
    config.textsEverHeld = m_textsEverHeld;
    // The picture file is written only for a picture chosen here: the one it holds may be
    // newer than the one shown (saved by the image editor a moment ago) or write-protected.
    reloadReplacedPicture();
    const QImage changed = pictureChanged() ? picture() : QImage();
    const EditorSaveResult saved =
        saveEditorPanel(config, changed, PanelFiles::config(), PanelFiles::picture());
    if (!changed.isNull() && saved.file != PanelFiles::picture()) {
        // Written (or no longer in question): the file holds the picture shown.
        m_picture = changed;
        m_pictureKey = Image_Activateur->pixmap().cacheKey();
        m_pictureStamp = fileStamp(PanelFiles::picture());
    }
    if (!saved.ok) {
        showMessage(QStringLiteral("Erreur d'enregistrement"),
                    QStringLiteral("Erreur d'enregistrement\n%1 : %2").arg(saved.file, saved.error));
        return false;
    }
    return true;
}

void TForm_CfgBtn::Enregistrer_CfgBtnClick()
{
    save();
}

void TForm_CfgBtn::Btn_HideFenetreClick()
{
    bool &shown = Forms::instance().MainWindowShown;
    if (m_mainWindow)
        shown = m_mainWindow->isVisible();
    shown = !shown;
    if (m_mainWindow)
        m_mainWindow->setVisible(shown);
    Btn_HideFenetre->setText(HideCaptions[shown ? 1 : 0]);
}

void TForm_CfgBtn::showHideItem()
{
    bool &shown = Forms::instance().MainWindowShown;
    shown = m_mainWindow->isVisible();
    // The item keeps its first caption until the main window is first hidden.
    if (!shown || Btn_HideFenetre->text() != HideFirstCaption)
        Btn_HideFenetre->setText(HideCaptions[shown ? 1 : 0]);
}

bool TForm_CfgBtn::isHeld() const
{
    return InputBlock::blocks(this);
}

void TForm_CfgBtn::ProprietesClick()
{
    if (!currentButtonControl())
        return;
    auto *dialog = new TForm_Config2(this);
    Forms::instance().Form_Config2 = dialog;
    // Over the editor, which it holds while it is open.
    dialog->move(geometry().center() - dialog->rect().center());
    dialog->show();
}

void TForm_CfgBtn::Proprietesgenerales1Click()
{
    emit Forms::instance().generalSettingsRequested(this, Image_Activateur);
}

void TForm_CfgBtn::Editerlimagedefond1Click()
{
    TForm_PhotoZel::open(this);
}

void TForm_CfgBtn::contextMenuEvent(QContextMenuEvent *event)
{
    PopupMenu2->popup(event->globalPos());
}

bool TForm_CfgBtn::FormCloseQuery()
{
    Forms &forms = Forms::instance();
    if (m_mainWindow && !m_mainWindow->isVisible())
        m_mainWindow->show();
    if (m_closingConfirmed || !forms.settings.ExitMenusEnabled)
        return true;
    // While a dialog holds the editor, closing it asks nothing.
    if (isHeld())
        return false;
    // The question already up answers this close too.
    if (!forms.formDynamique.isNull())
        return false;
    m_promptSaveFailed = false;
    requestPrompt(QStringLiteral("Quitter la configuration des boutons sans enregistrer"),
                  QStringLiteral("Annuler"), QStringLiteral("Fermer"), QStringLiteral("Enregistrer"),
                  QStringLiteral("Etes vous sur de quitter La configuration\r"
                                 "                 des boutons ??"),
                  5, 3, 3, true, true, true);
    return false;
}

void TForm_CfgBtn::FormClose()
{
    // The properties dialog gives the main window back when it closes.
    if (TForm_Config2 *dialog = Forms::instance().Form_Config2; dialog && dialog->parentWidget() == this)
        dialog->closeWithoutAsking();
    for (size_t k = 1; k < EditButtons.size(); ++k)
        delete EditButtons[k].control.data();
    for (size_t k = 1; k < EditTexts.size(); ++k)
        delete EditTexts[k].control.data();
    EditButtons.assign(1, EditButtonEntry{});
    EditTexts.assign(1, EditTextEntry{});
    m_currentButton = m_currentText = 0;
    ActivBtnP(1, 1, 1, 1, 1, 1, 1);
    if (TForm_ActBtn *panel = Forms::instance().Form_ActBtn)
        panel->installMessageHook();
}

void TForm_CfgBtn::closeEvent(QCloseEvent *event)
{
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

} // namespace zelvar
