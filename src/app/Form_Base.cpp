#include "app/Form_Base.h"

#include "app/FrameArt.h"
#include "app/RemoteHost.h"
#include "common/DataPaths.h"
#include "forms/Forms.h"
#include "forms/LayoutEditorLink.h"
#include "editors/Form_CfgBtn.h"
#include "editors/Form_Config2.h"
#include "panel/ProjectFile.h"
#include "app/ToolIcons.h"
#include "app/formDynamique.h"
#include "devices/ComPort.h"
#include "devices/SendSequences.h"
#include "forms/ErrorReport.h"
#include "widgets/InputBlock.h"
#include "panel/Form_ActBtn.h"
#include "app/ScreenPlace.h"
#include "panel/WindowDrag.h"
#include "scheduler/Form_Progmt.h"
#include "settings/Form_CfgErreur.h"
#include "settings/PagesDlg.h"
#include "sequencer/FSequenceur.h"
#include "widgets/Fonts.h"

#include <QAction>
#include <algorithm>
#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QLocale>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFontMetrics>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QWindow>
#include <utility>

namespace zelvar {

namespace {

const QString LoadFailed = QStringLiteral("Impossible de charger e fichier.");
// Where reports go, set at build time; empty while the project has no public address.
const QString ContactAddress = QStringLiteral(ZELVAR_CONTACT);

// Tahoma 8 points is 11 pixels, 10 points 13, 16 points 21 (at 96 dots per inch).
constexpr int PromptFontPixels = 13;
constexpr int TitleFontPixels = 21;

QString toolBarStyle()
{
    const QString blue = FrameArt::windowColour().name();
    return QStringLiteral(
               "QToolBar, QWidget#ToolBar2 { background: %1; border: none; padding: 0px; spacing: 0px; }"
               "QToolButton { background: %1; border: 1px solid transparent; padding: 0px; margin: 0px; }"
               "QToolButton:hover { border: 1px solid #4c457d; }"
               "QToolButton:pressed { background: #6e66a6; }"
               "QToolButton:disabled { color: #5a5480; }"
               "QToolButton::menu-indicator { image: none; width: 0px; }")
        .arg(blue);
}

QToolBar *makeToolBar(QWidget *parent, const QString &name, const QRect &bounds)
{
    auto *bar = new QToolBar(parent);
    bar->setObjectName(name);
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setIconSize(QSize(16, 16));
    bar->setContentsMargins(0, 0, 0, 0);
    bar->setStyleSheet(toolBarStyle());
    bar->setGeometry(bounds);
    return bar;
}

QAction *toolButton(QToolBar *bar, const QString &name, const QIcon &icon, const QString &hint)
{
    QAction *action = bar->addAction(icon, hint);
    action->setObjectName(name);
    action->setToolTip(hint);
    if (QWidget *button = bar->widgetForAction(action))
        button->setFixedSize(23, 22);
    return action;
}

// Menus are windows of their own: they do not take the main window's font by themselves.
QMenu *makeMenu(QWidget *owner, const QString &name, const QString &title)
{
    auto *menu = new QMenu(title, owner);
    menu->setObjectName(name);
    menu->setFont(uiFont());
    return menu;
}

QAction *menuItem(QMenu *menu, const QString &name, const QString &text)
{
    QAction *action = menu->addAction(text);
    action->setObjectName(name);
    return action;
}

} // namespace

TForm_Base::TForm_Base(QWidget *parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
{
    Forms &forms = Forms::instance();
    forms.Form_Base = this;
    connect(&forms, &Forms::commandsSwitched, this, &TForm_Base::ActivBtnP);
    connect(&forms, &Forms::promptRequested, this, &TForm_Base::CreationDynamique);
    connect(&forms, &Forms::nextAlarmChanged, this, &TForm_Base::showNextAlarm);
    connect(&forms, &Forms::generalSettingsRequested, this,
            [](QWidget *editor, QLabel *picture) { TPagesDlg::open(PagesDlgEditor{editor, picture}); });
    connect(&forms, &Forms::quitRequested, this, &TForm_Base::Bt_Quitter1Click);
    forms.QuitConfirmed = false;

    chooseImportFile = [this] { return defaultImportChooser(); };
    chooseExportFile = [this] { return defaultExportChooser(); };
    showMessage = [this](const QString &text) { defaultMessage(text); };

    setObjectName(QStringLiteral("Form_Base"));
    setWindowTitle(QStringLiteral("Zelvar"));
    setFont(uiFont());
    setFixedSize(600, 432);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, FrameArt::windowColour());
    setPalette(palette);
    setAutoFillBackground(true);

    createControls();
    createPanel();
    updateShape();
}

TForm_Base::~TForm_Base() = default;

void TForm_Base::createControls()
{
    Image2 = new QLabel(this);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setGeometry(-8, -8, 620, 60);
    Image2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image2->setPixmap(QPixmap::fromImage(FrameArt::header(uiFont(TitleFontPixels))));
    new WindowDrag(Image2, [] { return true; });

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(-1, 394, 601, 50);
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1->setPixmap(QPixmap::fromImage(FrameArt::footer()));
    new WindowDrag(Image1, [] { return true; });

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, 44, 600, 350);

    createMenus();
    createToolBars();
}

void TForm_Base::createMenus()
{
    Fichier1 = makeMenu(this, QStringLiteral("Fichier1"), QStringLiteral("Fichier"));
    Btn_Ouvrir1 = menuItem(Fichier1, QStringLiteral("Btn_Ouvrir1"), QStringLiteral("Importer"));
    Exporter1 = menuItem(Fichier1, QStringLiteral("Exporter1"), QStringLiteral("Exporter"));
    Btn_Enregistrer1 = menuItem(Fichier1, QStringLiteral("Btn_Enregistrer1"), QStringLiteral("Enregistrer"));
    Bt_Quitter1 = menuItem(Fichier1, QStringLiteral("Bt_Quitter1"), QStringLiteral("Quitter"));
    // "Enregistrer" saves through the open layout editor, so it is greyed while none is open.
    Btn_Enregistrer1->setEnabled(false);
    connect(Fichier1, &QMenu::aboutToShow, this,
            [this] { Btn_Enregistrer1->setEnabled(LayoutEditorLink::instance().isOpen()); });

    Voir1 = makeMenu(this, QStringLiteral("Voir1"), QStringLiteral("Voir"));
    Btn_Prg = menuItem(Voir1, QStringLiteral("Btn_Prg"), QStringLiteral("Programateur express"));
    Btn_Seq = menuItem(Voir1, QStringLiteral("Btn_Seq"), QStringLiteral("Sequenceur"));
    Btn_Seq->setEnabled(false);

    Reglages1 = makeMenu(this, QStringLiteral("Reglages1"), QStringLiteral("Reglages"));
    Btn_RglPdef = menuItem(Reglages1, QStringLiteral("Btn_RglPdef"), QStringLiteral("Reglages par default"));
    Btn_CfgBtn = menuItem(Reglages1, QStringLiteral("Btn_CfgBtn"), QStringLiteral("Configuration des boutons"));
    Btn_ToutEteindre = menuItem(Reglages1, QStringLiteral("Btn_ToutEteindre"), QStringLiteral(u"Tout éteindre"));

    Aide1 = makeMenu(this, QStringLiteral("Aide1"), QStringLiteral("?"));
    Aproposde1 = menuItem(Aide1, QStringLiteral("Aproposde1"), QStringLiteral("A propos de"));
    Contactezmoi1 = menuItem(Aide1, QStringLiteral("Contactezmoi1"), QStringLiteral("Contactez-moi"));

    Popup_TrayIcone = makeMenu(this, QStringLiteral("Popup_TrayIcone"), QString());
    Ouvrir1 = menuItem(Popup_TrayIcone, QStringLiteral("Ouvrir1"), QStringLiteral("Ouvrir"));
    Fermer1 = menuItem(Popup_TrayIcone, QStringLiteral("Fermer1"), QStringLiteral("Fermer"));
    Aproposde2 = menuItem(Popup_TrayIcone, QStringLiteral("Aproposde2"), QStringLiteral("A propos de"));

    connect(Btn_Ouvrir1, &QAction::triggered, this, &TForm_Base::Btn_Ouvrir1Click);
    connect(Exporter1, &QAction::triggered, this, &TForm_Base::Exporter1Click);
    connect(Btn_Enregistrer1, &QAction::triggered, this, &TForm_Base::Btn_Enregistrer1Click);
    connect(Bt_Quitter1, &QAction::triggered, this, &TForm_Base::Bt_Quitter1Click);
    connect(Btn_Prg, &QAction::triggered, this, &TForm_Base::Btn_PrgClick);
    connect(Btn_Seq, &QAction::triggered, this, &TForm_Base::Btn_SeqClick);
    connect(Btn_RglPdef, &QAction::triggered, this, &TForm_Base::Btn_RglPdefClick);
    connect(Btn_CfgBtn, &QAction::triggered, this, &TForm_Base::Btn_CfgBtnClick);
    connect(Btn_ToutEteindre, &QAction::triggered, this, &TForm_Base::Btn_ToutEteindreClick);
    connect(Aproposde1, &QAction::triggered, this, &TForm_Base::Aproposde1Click);
    connect(Contactezmoi1, &QAction::triggered, this, &TForm_Base::Contactezmoi1Click);
    connect(Ouvrir1, &QAction::triggered, this, &TForm_Base::Ouvrir1Click);
    connect(Fermer1, &QAction::triggered, this, &TForm_Base::Fermer1Click);
    connect(Aproposde2, &QAction::triggered, this, &TForm_Base::Aproposde1Click);
}

void TForm_Base::createToolBars()
{
    ToolBar1 = makeToolBar(this, QStringLiteral("ToolBar1"), QRect(130, 26, 73, 22));
    Bo_Pmg = toolButton(ToolBar1, QStringLiteral("Bo_Pmg"), ToolIcons::scheduler(),
                        QStringLiteral("Programateur express"));
    Bo_Seq = toolButton(ToolBar1, QStringLiteral("Bo_Seq"), ToolIcons::sequencer(),
                        QStringLiteral("Sequenceur"));
    Bo_CfgBtn = toolButton(ToolBar1, QStringLiteral("Bo_CfgBtn"), ToolIcons::buttonLayout(),
                           QStringLiteral("Configuration "));
    Bo_Seq->setEnabled(false);
    Bo_PortPerdu = toolButton(ToolBar1, QStringLiteral("Bo_PortPerdu"), style()->standardIcon(QStyle::SP_MessageBoxWarning),
                              QStringLiteral("Port perdu"));
    Bo_PortPerdu->setVisible(false);

    // The main menu shows only through this bar: one button per menu, sized to its title.
    ToolBar2 = new QWidget(this);
    ToolBar2->setObjectName(QStringLiteral("ToolBar2"));
    ToolBar2->setStyleSheet(toolBarStyle());
    ToolBar2->setAttribute(Qt::WA_StyledBackground);
    ToolBar2->setGeometry(230, 26, 145, 22);
    auto *menuRow = new QHBoxLayout(ToolBar2);
    menuRow->setContentsMargins(0, 0, 0, 0);
    menuRow->setSpacing(0);
    for (QMenu *menu : {Fichier1, Voir1, Reglages1, Aide1}) {
        auto *button = new QToolButton(ToolBar2);
        button->setObjectName(menu->objectName() + QStringLiteral("Button"));
        button->setFont(uiFont());
        button->setText(menu->title());
        button->setMenu(menu);
        button->setPopupMode(QToolButton::InstantPopup);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        button->setFixedSize(QFontMetrics(uiFont()).horizontalAdvance(menu->title()) + 10, 21);
        menuRow->addWidget(button);
    }
    menuRow->addStretch();

    ToolBar3 = makeToolBar(this, QStringLiteral("ToolBar3"), QRect(404, 26, 82, 22));
    Tool_Depannage = toolButton(ToolBar3, QStringLiteral("Tool_Depannage"), ToolIcons::repair(),
                                QStringLiteral("Depannage"));
    Tool_Minimiser = toolButton(ToolBar3, QStringLiteral("Tool_Minimiser"), ToolIcons::minimise(),
                                QStringLiteral("Minimiser"));
    Tool_Fermer = toolButton(ToolBar3, QStringLiteral("Tool_Fermer"), ToolIcons::close(),
                             QStringLiteral("Fermer Zelvar"));

    connect(Bo_Pmg, &QAction::triggered, this, &TForm_Base::Bo_PmgClick);
    connect(Bo_Seq, &QAction::triggered, this, &TForm_Base::Bo_SeqClick);
    connect(Bo_CfgBtn, &QAction::triggered, this, &TForm_Base::Bo_CfgBtnClick);
    connect(Tool_Depannage, &QAction::triggered, this, &TForm_Base::Tool_DepannageClick);
    connect(Tool_Minimiser, &QAction::triggered, this, &TForm_Base::Tool_MinimiserClick);
    connect(Tool_Fermer, &QAction::triggered, this, &TForm_Base::Tool_FermerClick);
}

// The live panel fills Panel1; its creation loads the panel file, opens the port and gives
// the seven commands back.
void TForm_Base::createPanel()
{
    auto *panel = new TForm_ActBtn(Panel1);
    panel->setGeometry(QRect(QPoint(0, 0), Panel1->contentsRect().size()));
    panel->show();
    connect(panel->ComPort1, &TCustomComPort::lost, this, [this](const QString &name) { showPortLost(true, name); });
    connect(panel->ComPort1, &TCustomComPort::found, this, [this](const QString &name) {
        showPortLost(false, name);
        // What a period's relay should be in may have been lost with the board's power.
        if (TForm_Progmt *scheduler = Forms::instance().Form_Progmt)
            scheduler->engine().assertPeriods();
    });
    m_remote = std::make_unique<RemoteHost>(*panel);
    Forms::instance().remote = m_remote.get();
    m_remote->start();
}

void TForm_Base::closePanel()
{
    if (TForm_ActBtn *panel = Forms::instance().Form_ActBtn)
        panel->close();
}

void TForm_Base::updateShape()
{
    QVector<QRect> solid{Panel1->geometry()};
    for (QWidget *bar : {static_cast<QWidget *>(ToolBar1), ToolBar2, static_cast<QWidget *>(ToolBar3)})
        solid.append(bar->geometry());
    setMask(FrameArt::shape(size(),
                            {{Image2->pixmap().toImage(), Image2->pos()},
                             {Image1->pixmap().toImage(), Image1->pos()}},
                            solid));
}

void TForm_Base::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (Panel1)
        updateShape();
}

void TForm_Base::setVisible(bool visible)
{
    // Read while the window is still mapped: the hide event comes after the unmap.
    if (!visible && isVisible())
        m_placeBeforeHide = screenPlace(*this);
    QWidget::setVisible(visible);
}

void TForm_Base::hideEvent(QHideEvent *event)
{
    if (!event->spontaneous())
        m_hiddenAt = m_placeBeforeHide.value_or(pos());
    m_placeBeforeHide.reset();
    QWidget::hideEvent(event);
}

// A window manager places a window shown again as a new one unless it is told where: the
// place is asked for before the window is mapped, and asked again once the manager has
// placed it (a manager may ignore the first request when the window moved through it).
void TForm_Base::showEvent(QShowEvent *event)
{
    if (m_hiddenAt && !event->spontaneous()) {
        const QPoint at = *std::exchange(m_hiddenAt, std::nullopt);
        move(at);
        if (QWindow *window = windowHandle()) {
            m_placeAfterMap = at;
            window->removeEventFilter(this);
            window->installEventFilter(this);
        }
    }
    QWidget::showEvent(event);
}

bool TForm_Base::eventFilter(QObject *watched, QEvent *event)
{
    if (m_placeAfterMap && watched == windowHandle() && event->type() == QEvent::Expose
        && windowHandle()->isExposed()) {
        const QPoint at = *std::exchange(m_placeAfterMap, std::nullopt);
        // pos() is the frame's corner, as the place was read: decorations are counted.
        if (pos() != at)
            move(at);
    }
    return QWidget::eventFilter(watched, event);
}

void TForm_Base::ActivBtnP(int p1, int p2, int p3, int p4, int p5, int p6, int p7)
{
    const std::pair<QAction *, int> switches[] = {
        {Btn_CfgBtn, p1}, {Bo_CfgBtn, p2}, {Btn_Prg, p3}, {Btn_RglPdef, p4},
        {Bo_Pmg, p5},     {Btn_Seq, p6},   {Bo_Seq, p7},
    };
    for (const auto &[command, flag] : switches) {
        if (flag == 1)
            command->setEnabled(true);
        else if (flag == 0)
            command->setEnabled(false);
    }
}

void TForm_Base::CreationDynamique(const QString &caption, const QString &leftText,
                                   const QString &rightText, const QString &middleText,
                                   const QString &message, int leftCode, int rightCode,
                                   int middleCode, bool leftVisible, bool rightVisible,
                                   bool middleVisible)
{
    auto *dialog = new TformDynamique(this);
    Forms::instance().formDynamique = dialog;
    dialog->setFont(uiFont());
    dialog->setGeometry(300, 20, 320, 250);
    dialog->setWindowTitle(caption);

    const auto button = [this, dialog](const QString &text, int left, bool visible,
                                       void (TForm_Base::*handler)()) {
        auto *result = new QPushButton(text, dialog);
        // A text longer than the button ("Ne pas enregistrer") widens it about its centre
        // rather than being cut; the three places leave room for about 100 pixels each.
        const int width = std::clamp(result->fontMetrics().horizontalAdvance(text) + 12, 75, 98);
        result->setGeometry(left + (75 - width) / 2, 50, width, 25);
        result->setAutoDefault(false);
        connect(result, &QPushButton::clicked, this, handler);
        result->setVisible(visible);
        return result;
    };
    dialog->ButtonG_Ba = button(leftText, 20, leftVisible, &TForm_Base::ClickBtnGauche);
    m_leftCode = leftCode;
    dialog->ButtonD_Ba = button(rightText, 220, rightVisible, &TForm_Base::ClickBtnDroite);
    m_rightCode = rightCode;
    dialog->ButtonM_Ba = button(middleText, 120, middleVisible, &TForm_Base::ClickBtnMilieu);
    m_middleCode = middleCode;

    dialog->Label_Ba = new QLabel(dialog);
    dialog->Label_Ba->setTextFormat(Qt::PlainText);
    dialog->Label_Ba->setFont(uiFont(PromptFontPixels));
    dialog->Label_Ba->setText(promptText(message));
    dialog->Label_Ba->move(25, 120);
    dialog->Label_Ba->adjustSize();
    // A message wider than the prompt (a device path in it) wraps rather than being cut, and
    // its tool tip holds it whole.
    const int room = dialog->width() - 2 * dialog->Label_Ba->x();
    if (dialog->Label_Ba->width() > room) {
        dialog->Label_Ba->setWordWrap(true);
        dialog->Label_Ba->resize(room, dialog->Label_Ba->heightForWidth(room));
        dialog->Label_Ba->setToolTip(promptText(message));
    }

    dialog->show();
    // The prompt is the one window left usable while the main window waits for it, also
    // when a dialog (the button properties) holds this window disabled.
    dialog->setEnabled(true);
    setInputBlocked(true);
    dialog->raise();
    dialog->activateWindow();
}

void TForm_Base::setInputBlocked(bool blocked)
{
    if (!blocked)
        m_inputBlock.reset();
    else if (!m_inputBlock)
        m_inputBlock = std::make_unique<InputBlock>(this);
}

void TForm_Base::releaseMainWindow()
{
    setInputBlocked(false);
    activateWindow();
    setFocus();
}

void TForm_Base::closeCurrentDialog()
{
    if (TformDynamique *dialog = Forms::instance().formDynamique)
        dialog->closeDialog();
}

void TForm_Base::answerSequencer(int code)
{
    setInputBlocked(false);
    closeCurrentDialog();
    if (TFSequenceur *sequencer = Forms::instance().FSequenceur)
        sequencer->promptAnswered(code);
}

void TForm_Base::answerScheduler(int code)
{
    setInputBlocked(false);
    closeCurrentDialog();
    if (TForm_Progmt *scheduler = Forms::instance().Form_Progmt)
        scheduler->promptAnswered(code);
}

void TForm_Base::ClickBtnGauche()
{
    LayoutEditorLink &editor = LayoutEditorLink::instance();
    switch (m_leftCode) {
    case 1:
        releaseMainWindow();
        closeCurrentDialog();
        break;
    case TFSequenceur::PromptSave:
        answerSequencer(m_leftCode);
        break;
    case TForm_Progmt::PromptDropRows:
        answerScheduler(m_leftCode);
        break;
    case PromptQuit:
        quitConfirmed();
        break;
    case PromptStorePortSettings:
        releaseMainWindow();
        closeCurrentDialog();
        if (TForm_CfgErreur *form = Forms::instance().Form_CfgErreur)
            form->storeSettings();
        break;
    case 5:
        setInputBlocked(false);
        closeCurrentDialog();
        if (editor.window) {
            editor.window->setEnabled(true);
            editor.window->activateWindow();
            editor.window->setFocus();
        }
        break;
    case 7:
        answerPropertiesQuestion(ClosingAnswer::Apply);
        break;
    default:
        break;
    }
}

void TForm_Base::ClickBtnDroite()
{
    Forms &forms = Forms::instance();
    LayoutEditorLink &editor = LayoutEditorLink::instance();
    switch (m_rightCode) {
    case 1:
        quitConfirmed();
        break;
    case PromptDismiss:
        releaseMainWindow();
        closeCurrentDialog();
        break;
    case 2:
        setInputBlocked(false);
        closeCurrentDialog();
        if (forms.Form_ActBtn)
            forms.Form_ActBtn->FactoryLoad();
        break;
    case 3:
        if (editor.confirmClosing)
            editor.confirmClosing();
        closeCurrentDialog();
        if (editor.window)
            editor.window->close();
        releaseMainWindow();
        break;
    case 6:
        setInputBlocked(false);
        closeCurrentDialog();
        importProject();
        break;
    case TFSequenceur::PromptCancel:
        answerSequencer(m_rightCode);
        break;
    case TForm_Progmt::PromptKeepRows:
        answerScheduler(m_rightCode);
        break;
    case 4:
        // The prompt stays open; a failure to start the mail program is not reported.
        if (!ContactAddress.isEmpty())
            QDesktopServices::openUrl(QUrl(QStringLiteral("mailto:") + ContactAddress));
        else
            showReportingHelp();
        break;
    case 7:
        answerPropertiesQuestion(ClosingAnswer::Stay);
        break;
    default:
        break;
    }
}

void TForm_Base::ClickBtnMilieu()
{
    LayoutEditorLink &editor = LayoutEditorLink::instance();
    switch (m_middleCode) {
    case 1:
        releaseMainWindow();
        closeCurrentDialog();
        break;
    case TFSequenceur::PromptDiscard:
        answerSequencer(m_middleCode);
        break;
    case 3:
        if (editor.save)
            editor.save();
        if (editor.confirmClosing)
            editor.confirmClosing();
        closeCurrentDialog();
        if (editor.window)
            editor.window->close();
        releaseMainWindow();
        break;
    case 7:
        answerPropertiesQuestion(ClosingAnswer::Drop);
        break;
    default:
        break;
    }
}

void TForm_Base::quitConfirmed()
{
    Forms::instance().QuitConfirmed = true;
    closeCurrentDialog();
    closePanel();
    close();
}

bool TForm_Base::alarmsArmed()
{
    TForm_Progmt *scheduler = Forms::instance().Form_Progmt;
    return scheduler && scheduler->engine().anyArmed();
}

void TForm_Base::askQuitWithAlarms()
{
    CreationDynamique(QStringLiteral("Quitter"), QStringLiteral("Oui"), QStringLiteral("Non"), QString(),
                      QStringLiteral("Des programmations sont actives. Quitter quand même ?"), PromptQuit,
                      PromptDismiss, 1, true, true, false);
}

// Code 7: the properties dialog asked whether to apply its choices before closing. This
// window stays held by the dialog until the dialog itself closes.
void TForm_Base::answerPropertiesQuestion(ClosingAnswer answer)
{
    setInputBlocked(false);
    closeCurrentDialog();
    if (TForm_Config2 *dialog = Forms::instance().Form_Config2)
        dialog->closingAnswered(answer);
}

void TForm_Base::closeEvent(QCloseEvent *event)
{
    const Forms &forms = Forms::instance();
    const bool armed = alarmsArmed();
    if (forms.QuitConfirmed || (!forms.settings.ExitMenusEnabled && !armed)) {
        event->accept();
        emit closed();
        return;
    }
    event->ignore();
    // A close request while the prompt is up (the window is then disabled) asks nothing more.
    if (forms.formDynamique && forms.formDynamique->isVisible())
        return;
    // Armed alarms are the one question then: it also asks whether to quit at all.
    if (armed) {
        askQuitWithAlarms();
        return;
    }
    CreationDynamique(QStringLiteral("Quitter le programme ?"), QStringLiteral("Annuler"),
                      QStringLiteral("Quitter"), QString(),
                      QStringLiteral("Etes vous sur de vouloir quitter le programme ??"), 1, 1, 1,
                      true, true, false);
}

void TForm_Base::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        showMessage(QStringLiteral("VK_ESCAPE"));
        return;
    }
    QWidget::keyPressEvent(event);
}

void TForm_Base::Bo_PmgClick()
{
    zelvar::ActivBtnP(0, 0, 0, 0, 0, 0, 0);
    TForm_Progmt *form = scheduler();
    form->show();
    if (const QScreen *screen = form->screen())
        form->move(screen->availableGeometry().center() - form->frameGeometry().center() + form->pos());
}

// Made once and only hidden when closed: its rows live for the run.
TForm_Progmt *TForm_Base::scheduler(std::unique_ptr<ScheduleClock> clock)
{
    TForm_Progmt *form = Forms::instance().Form_Progmt;
    if (!form) {
        form = new TForm_Progmt(this, std::move(clock));
        if (m_remote)
            m_remote->followScheduler(*form);
    }
    return form;
}

void TForm_Base::Btn_PrgClick() { Bo_PmgClick(); }

void TForm_Base::Bo_SeqClick()
{
    zelvar::ActivBtnP(0, 0, 0, 0, 0, 0, 0);
    hide();
    auto *form = new TFSequenceur(this);
    form->setGeometry(200, 200, 887, 662);
    form->setFixedSize(887, 662);
    connect(form, &TFSequenceur::closed, this, [this] { show(); });
    form->show();
}

void TForm_Base::Btn_SeqClick() { Bo_SeqClick(); }

bool TForm_Base::opensSequencerAtStart(const QStringList &arguments)
{
    // Options ("-platform", "--version"…) are not the argument that asks for the sequencer.
    const auto plain = std::count_if(arguments.begin() + std::min<qsizetype>(1, arguments.size()), arguments.end(),
                                     [](const QString &a) { return !a.startsWith(u'-'); });
    return plain == 1;
}

void TForm_Base::Start(const QStringList &arguments)
{
    // The rows saved armed run from the start, whether the scheduler is ever shown or not.
    scheduler()->loadAtStart();
    if (!opensSequencerAtStart(arguments)) {
        show();
        return;
    }
    Bo_SeqClick();
    setGeometry(300, 300, 600, 412);
}

void TForm_Base::Bo_CfgBtnClick()
{
    ActivBtnP(0, 0, 1, 0, 0, 0, 0);
    auto *editor = new TForm_CfgBtn(this);
    editor->setAttribute(Qt::WA_DeleteOnClose);
    editor->show();
    editor->move(300, 300);
}

void TForm_Base::Btn_CfgBtnClick() { Bo_CfgBtnClick(); }

void TForm_Base::Btn_ToutEteindreClick()
{
    if (TForm_ActBtn *panel = Forms::instance().Form_ActBtn)
        Send::queue(*panel->ComPort1, Send::allOff(), [parent = QPointer<QWidget>(this)](const SendResult &result) {
            reportSendResult(result, parent);
        });
}

void TForm_Base::Tool_DepannageClick()
{
    // The form shown because the port would not open is still up: one form at a time.
    if (TForm_CfgErreur *open = Forms::instance().Form_CfgErreur; open && open->isVisible()) {
        open->raise();
        open->activateWindow();
        return;
    }
    auto *form = new TForm_CfgErreur(Panel1);
    Forms::instance().Form_CfgErreur = form;
    form->setGeometry(Panel1->contentsRect());
    form->show();
    form->raise();
    zelvar::ActivBtnP(0, 0, 0, 0, 0, 0, 0);
    Tool_Depannage->setEnabled(false);
    form->Label2->clear();
    // The form gives the seven commands back when it closes; Depannage is ours to give back.
    connect(form, &TForm_CfgErreur::closed, this, [this, form] {
        Tool_Depannage->setEnabled(true);
        form->deleteLater();
    });
}

void TForm_Base::Tool_MinimiserClick()
{
    if (!Forms::instance().settings.ReduceToTray || !QSystemTrayIcon::isSystemTrayAvailable()) {
        showMinimized();
        return;
    }
    if (!TrayIcon) {
        QIcon icon = QApplication::windowIcon();
        if (icon.isNull())
            icon = ToolIcons::buttonLayout();
        TrayIcon = new QSystemTrayIcon(icon, this);
        TrayIcon->setToolTip(QStringLiteral("Zelvare"));
        TrayIcon->setContextMenu(Popup_TrayIcone);
        connect(TrayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::DoubleClick)
                restoreWindow();
        });
    }
    hide();
    TrayIcon->show();
}

void TForm_Base::restoreWindow()
{
    // The icon goes when the window comes back, so minimising again never adds a second one.
    if (TrayIcon)
        TrayIcon->hide();
    showNormal();
    raise();
    activateWindow();
}

void TForm_Base::Tool_FermerClick() { close(); }
void TForm_Base::Bt_Quitter1Click() { close(); }
void TForm_Base::Ouvrir1Click() { restoreWindow(); }

void TForm_Base::showNextAlarm(std::optional<qint64> nextMs, qint64 nowMs)
{
    QString hint = QStringLiteral("Programateur express");
    if (nextMs) {
        const QDateTime next = QDateTime::fromMSecsSinceEpoch(*nextMs, Qt::LocalTime);
        hint += QStringLiteral("\nProchaine : ");
        if (next.date() != QDateTime::fromMSecsSinceEpoch(nowMs, Qt::LocalTime).date())
            hint += QLocale::system().toString(next.date(), QLocale::ShortFormat) + QLatin1Char(' ');
        hint += next.toString(QStringLiteral("hh:mm:ss"));
    }
    Bo_Pmg->setToolTip(hint);
}

void TForm_Base::showPortLost(bool lost, const QString &name)
{
    Bo_PortPerdu->setToolTip(QStringLiteral("Port perdu : %1\nNouvel essai chaque seconde").arg(name));
    Bo_PortPerdu->setVisible(lost);
    ToolBar1->resize(lost ? 97 : 73, ToolBar1->height());
    updateShape();
}

void TForm_Base::Fermer1Click()
{
    // Armed alarms are worth a question even here; it comes with the window back.
    if (alarmsArmed()) {
        restoreWindow();
        if (const TformDynamique *prompt = Forms::instance().formDynamique; !prompt || !prompt->isVisible())
            askQuitWithAlarms();
        return;
    }
    Forms::instance().QuitConfirmed = true;
    closePanel();
    close();
}

void TForm_Base::Aproposde1Click()
{
    const QString about = QStringLiteral("   Programme écrit en C++ avec Qt\r"
                                         "   par l'équipe Zelvar\r"
                                         "   Merci au site du fabricant\r"
                                         " pour le module Récepteur IR/PC 16 canaux \r"
                                         "                   version  3.0");
    CreationDynamique(QStringLiteral("A propos"), QString(), QString(), QStringLiteral("Fermer"),
                      about, 0, 0, 1, false, false, true);
}

void TForm_Base::showReportingHelp()
{
    const QString readme = readmePath();
    CreationDynamique(QStringLiteral("Contact"), QString(), QString(), QStringLiteral("Fermer"),
                      QStringLiteral("Pour signaler un problème, voyez la section « Signaler un "
                                     "problème » du fichier README : ")
                          + (readme.isEmpty() ? QStringLiteral("README.md") : readme),
                      0, 0, 1, false, false, true);
}

void TForm_Base::Contactezmoi1Click()
{
    CreationDynamique(QStringLiteral("Contactez-moi"), QStringLiteral("Fermer"),
                      QStringLiteral("Email"), QString(),
                      QStringLiteral("    N'hesitez pas  à me donner votre avis \r \r"
                                     "                 et vos suggestions\r \r"
                                     "                           Ostrel"),
                      1, 4, 0, true, true, false);
}

void TForm_Base::Btn_RglPdefClick()
{
    CreationDynamique(QStringLiteral("Reglages par default"), QStringLiteral("Annuler"),
                      QStringLiteral("Oui"), QString(),
                      QStringLiteral("Attention les reglages en cours seront perdus !!\r"
                                     "Etes vous sur de vouloir continuer?"),
                      1, 2, 0, true, true, false);
}

void TForm_Base::Btn_Enregistrer1Click()
{
    const LayoutEditorLink &editor = LayoutEditorLink::instance();
    if (editor.isOpen() && editor.save)
        editor.save();
}

// "Importer": once the user has confirmed, the chosen project becomes the configuration
// (the one it replaces is kept as a backup), then the live panel is built anew from it,
// exactly as at start-up.
void TForm_Base::Btn_Ouvrir1Click()
{
    const QString path = chooseImportFile();
    if (path.isEmpty())
        return;
    m_importPath = path;
    CreationDynamique(QStringLiteral("Importer"), QStringLiteral("Annuler"), QStringLiteral("Oui"), QString(),
                      QStringLiteral("Attention les reglages en cours seront perdus !!\r"
                                     "Le port de cet ordinateur est conservé.\r"
                                     "Etes vous sur de vouloir continuer?"),
                      1, 6, 0, true, true, false);
}

void TForm_Base::importProject()
{
    const QString path = std::exchange(m_importPath, QString());
    if (path.isEmpty())
        return;
    // The project's port names a device of the computer it came from.
    const PanelSettings &settings = Forms::instance().settings;
    std::optional<ProjectFile::Port> kept;
    if (!settings.CurrentPortName.isEmpty())
        kept = ProjectFile::Port{settings.CurrentPortName, settings.CurrentPortSpeed};
    if (!ProjectFile::importFrom(path, QDateTime::currentDateTime(), kept).ok) {
        showMessage(LoadFailed);
        return;
    }
    try {
        if (TForm_ActBtn *panel = Forms::instance().Form_ActBtn) {
            panel->close();
            m_remote.reset(); // it acts on the panel's port
            delete panel; // its key hook and port go with it
        }
        createPanel();
        // A port form opened from "Depannage" stays in front of the new panel until closed.
        if (TForm_CfgErreur *form = Forms::instance().Form_CfgErreur;
            form && form->parentWidget() == Panel1 && form->isVisible())
            form->raise();
    } catch (const std::exception &) {
        showMessage(LoadFailed);
    }
}

void TForm_Base::Exporter1Click()
{
    const QString path = chooseExportFile();
    if (path.isEmpty())
        return;
    const ProjectFile::Result result = ProjectFile::exportTo(path);
    if (!result.ok)
        showMessage(result.error);
}

QString TForm_Base::defaultImportChooser()
{
    QFileDialog dialog(this, QString(), QDir::current().filePath(ProjectFile::directory()),
                       QStringLiteral("zel (*.zel)"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.selectFile(ProjectFile::defaultName());
    const TForm_ActBtn::KeyHookPause typing;
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.selectedFiles().value(0);
}

QString TForm_Base::defaultExportChooser()
{
    QFileDialog dialog(this, QStringLiteral("Enregistrer sous"), QDir::currentPath(), QStringLiteral("zel (*.zel)"));
    dialog.setDefaultSuffix(QStringLiteral("zel"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.selectFile(ProjectFile::defaultName());
    const TForm_ActBtn::KeyHookPause typing;
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.selectedFiles().value(0);
}

void TForm_Base::defaultMessage(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationDisplayName(), text,
                    QMessageBox::Ok, this);
    box.exec();
}

} // namespace zelvar
