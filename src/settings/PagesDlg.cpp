#include "settings/PagesDlg.h"

#include "devices/ComPort.h"
#include "forms/ErrorReport.h"
#include "forms/Forms.h"
#include "panel/Form_ActBtn.h"
#include "panel/PanelConfig.h"
#include "settings/PlacePage.h"
#include "settings/PortSettingsFile.h"
#include "settings/RemotePage.h"
#include "widgets/DegradeClass.h"
#include "widgets/Fonts.h"
#include "widgets/InputBlock.h"
#include "widgets/SystemColors.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QWindow>

namespace zelvar {

namespace {

constexpr int ClientWidth = 513;
constexpr int ClientHeight = 401;
constexpr int Border = 5;
constexpr int StripHeight = 34;
constexpr int GradientStart = 8209740;
constexpr int ComboHeight = 21;
constexpr int LabelHeight = 13; // Tahoma, -13

// A list whose text is set apart from its items: the value in force shows even when no item
// holds it, and in the colour of a chosen item rather than a greyed placeholder.
QComboBox *makeCombo(QWidget *parent, const QStringList &items, const QString &text, int left, int top, int width)
{
    auto *combo = new QComboBox(parent);
    combo->addItems(items);
    combo->setPlaceholderText(text);
    combo->setCurrentIndex(-1);
    QPalette palette = combo->palette();
    palette.setColor(QPalette::PlaceholderText, palette.color(QPalette::ButtonText));
    combo->setPalette(palette);
    combo->setGeometry(left, top, width, ComboHeight);
    combo->setMaxVisibleItems(20);
    return combo;
}

QPushButton *makeButton(QWidget *parent, const QString &text, int left, int top)
{
    auto *button = new QPushButton(text, parent);
    button->setGeometry(left, top, 75, 25);
    return button;
}

} // namespace

QLabel *pagesLabel(QWidget *parent, const QString &text, int left, int top)
{
    auto *label = new QLabel(text, parent);
    label->setFont(uiFont(LabelHeight));
    label->adjustSize();
    label->move(left, top);
    return label;
}

TPagesDlg::TPagesDlg(const PagesDlgEditor &editor) : editor_(editor)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Configurations generales"));
    setFont(uiFont());
    setFixedSize(ClientWidth, ClientHeight);
    move(177, 93);

    DegradeClass1 = new TDegradeClass(this);
    DegradeClass1->setStartColor(GradientStart);
    DegradeClass1->setEndColor(ColorCream);

    PageControl1 = new QTabWidget(this);
    PageControl1->setGeometry(Border, Border, ClientWidth - 2 * Border, ClientHeight - StripHeight - 2 * Border);
    createPortPage();
    createGraphicsPage();
    Lieu = new PlacePage;
    addPage(Lieu, QStringLiteral("Lieu"));
    Telecommande = new RemotePage;
    addPage(Telecommande, QStringLiteral("Télécommande"));
    PageControl1->setCurrentWidget(PortCom);

    const int stripTop = ClientHeight - StripHeight + 4;
    Btn_Appliquer = makeButton(this, QStringLiteral("Appliquer"), 187, stripTop);
    Btn_Appliquer->setDefault(true);
    Btn_Appliquer->setEnabled(false);
    CancelBtn = makeButton(this, QStringLiteral("Annuler"), 267, stripTop);
    HelpBtn = makeButton(this, QStringLiteral("Fermer"), 348, stripTop);

    connect(Btn_Appliquer, &QPushButton::clicked, this, &TPagesDlg::Btn_AppliquerClick);
    connect(Lieu, &PlacePage::edited, Btn_Appliquer, [this] { Btn_Appliquer->setEnabled(true); });
    connect(Telecommande, &RemotePage::edited, Btn_Appliquer, [this] { Btn_Appliquer->setEnabled(true); });
    // Nothing here waits for an answer: "Annuler" closes like "Fermer", and so do Escape
    // and the frame.
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(HelpBtn, &QPushButton::clicked, this, &TPagesDlg::HelpBtnClick);

    // The dialog belongs to the editor but must stay usable while the editor is held, so
    // it is a window of its own that goes with the editor.
    if (editor_.window)
        connect(editor_.window, &QObject::destroyed, this, &QObject::deleteLater);

    choosePicture = [this] { return defaultPictureChooser(); };
    showMessage = [this](const QString &text) { defaultMessage(text); };

    Forms::instance().PagesDlg = this;
}

TPagesDlg *TPagesDlg::open(const PagesDlgEditor &editor)
{
    auto *dialog = new TPagesDlg(editor);
    if (editor.window) {
        dialog->winId();
        if (QWindow *owner = editor.window->window()->windowHandle())
            dialog->windowHandle()->setTransientParent(owner);
    }
    dialog->show();
    new DialogHold(dialog, {editor.window.data()});
    return dialog;
}

QWidget *TPagesDlg::createPage(const QString &title)
{
    return addPage(new QWidget, title);
}

QWidget *TPagesDlg::addPage(QWidget *page, const QString &title)
{
    page->setObjectName(title);
    auto *background = new TDegradeClass(page);
    background->setStartColor(GradientStart);
    background->setEndColor(ColorCream);
    PageControl1->addTab(page, title);
    return page;
}

void TPagesDlg::createPortPage()
{
    PortCom = createPage(QStringLiteral("PortCom"));
    Label5 = pagesLabel(PortCom, QStringLiteral("Reglages du port Com"), 66, 42);

    const PanelSettings &settings = Forms::instance().settings;
    choices_ = generalPortChoices(listSerialDevices(),
                                  {settings.CurrentPortName, storedPortName(PanelFiles::config())});
    QStringList labels;
    for (const PortChoice &choice : std::as_const(choices_))
        labels << choice.label;
    Combo_Port = makeCombo(PortCom, labels, settings.CurrentPortName, 82, 76, 89);
    int widest = 0;
    for (int i = 0; i < choices_.size(); ++i) {
        if (!choices_.at(i).toolTip.isEmpty())
            Combo_Port->setItemData(i, choices_.at(i).toolTip, Qt::ToolTipRole);
        widest = std::max(widest, Combo_Port->fontMetrics().horizontalAdvance(labels.at(i)));
    }
    // Device names are longer than the box: the open list shows them whole.
    Combo_Port->view()->setMinimumWidth(widest + 24);
    Combo_Vitesse = makeCombo(PortCom, speedItems(), settings.CurrentPortSpeed, 82, 120, 89);

    connect(Combo_Port, &QComboBox::activated, this, &TPagesDlg::Combo_PortSelect);
    connect(Combo_Vitesse, &QComboBox::activated, this, &TPagesDlg::Combo_VitesseSelect);
}

QPushButton *TPagesDlg::optionButton(QWidget *page, const QString &text, const QString &hint, int left, int top)
{
    auto *button = new QPushButton(text, page);
    button->setGeometry(left, top, 31, 15);
    button->setToolTip(hint);
    // Drawn by hand: at 15 pixels high the style's own frame leaves no room for the letter,
    // and the button of the value in force must read as pressed at a glance.
    button->setStyleSheet(QStringLiteral("QPushButton { padding: 0px; border: 1px outset #808080; background: #f0f0f0; }"
                                         "QPushButton:checked { border: 2px inset #404040; background: #a0a0a0; "
                                         "font-weight: bold; }"
                                         "QPushButton:hover { background: #ffffff; }"
                                         "QPushButton:checked:hover { background: #b0b0b0; }"));
    return button;
}

// The pair of an option is drawn with the button of the value in force pressed.
void TPagesDlg::optionPair(QPushButton *yes, QPushButton *no)
{
    auto *group = new QButtonGroup(this);
    for (QPushButton *button : {yes, no}) {
        button->setCheckable(true);
        group->addButton(button);
    }
}

void TPagesDlg::createGraphicsPage()
{
    Graphisme = createPage(QStringLiteral("Graphisme"));
    struct Row
    {
        QString label;
        int left, top;
        QPushButton **yes, **no;
        QString yesHint, noHint;
    };
    const Row rows[] = {
        {QStringLiteral("Importer une image Bitmap"), 18, 48, &Btn_ImageGenerale, &Btn_AnnulerImage,
         QStringLiteral("Ouvrir"), QStringLiteral("Annuler")},
        {QStringLiteral("Reduction dans la barre des taches."), 11, 78, &Btn_ReduireGenerale,
         &Btn_NoReduireGenerale, QStringLiteral("Oui"), QStringLiteral("Non")},
        {QStringLiteral("Activation des menus de sortie"), 11, 108, &Btn_MenuSortie, &Btn_NoMenuSortie,
         QStringLiteral("Oui"), QStringLiteral("Non")},
        {QStringLiteral(u"Deplaçer la fenetre principale"), 18, 147, &Btn_MoveFentreYes, &Btn_MoveFenetreNo,
         QStringLiteral("Oui"), QStringLiteral("Non")},
    };
    for (const Row &row : rows) {
        pagesLabel(Graphisme, row.label, row.left, row.top);
        *row.yes = optionButton(Graphisme, QStringLiteral("o"), row.yesHint, 222, row.top + 1);
        *row.no = optionButton(Graphisme, QStringLiteral("x"), row.noHint, 274, row.top + 1);
    }
    optionPair(Btn_ReduireGenerale, Btn_NoReduireGenerale);
    optionPair(Btn_MenuSortie, Btn_NoMenuSortie);
    optionPair(Btn_MoveFentreYes, Btn_MoveFenetreNo);
    showOptions();

    connect(Btn_ImageGenerale, &QPushButton::clicked, this, &TPagesDlg::Btn_ImageGeneraleClick);
    connect(Btn_AnnulerImage, &QPushButton::clicked, this, &TPagesDlg::Btn_AnnulerImageClick);
    connect(Btn_ReduireGenerale, &QPushButton::clicked, this, &TPagesDlg::Btn_ReduireGeneraleClick);
    connect(Btn_NoReduireGenerale, &QPushButton::clicked, this, &TPagesDlg::Btn_NoReduireGeneraleClick);
    connect(Btn_MenuSortie, &QPushButton::clicked, this, &TPagesDlg::Btn_MenuSortieClick);
    connect(Btn_NoMenuSortie, &QPushButton::clicked, this, &TPagesDlg::Btn_NoMenuSortieClick);
    connect(Btn_MoveFentreYes, &QPushButton::clicked, this, &TPagesDlg::Btn_MoveFentreYesClick);
    connect(Btn_MoveFenetreNo, &QPushButton::clicked, this, &TPagesDlg::Btn_MoveFenetreNoClick);
}

void TPagesDlg::showOptions()
{
    const PanelSettings &settings = Forms::instance().settings;
    (settings.ReduceToTray ? Btn_ReduireGenerale : Btn_NoReduireGenerale)->setChecked(true);
    (settings.ExitMenusEnabled ? Btn_MenuSortie : Btn_NoMenuSortie)->setChecked(true);
    (settings.MoveMainWindow ? Btn_MoveFentreYes : Btn_MoveFenetreNo)->setChecked(true);
}

void TPagesDlg::Combo_PortSelect(int index)
{
    PanelSettings &settings = Forms::instance().settings;
    if (index >= 0 && index < choices_.size() && !choices_.at(index).portName.isEmpty())
        settings.CurrentPortName = choices_.at(index).portName;
    else
        showValue(Combo_Port, settings.CurrentPortName);
    portChanged_ = true;
    Btn_Appliquer->setEnabled(true);
}

void TPagesDlg::Combo_VitesseSelect(int index)
{
    PanelSettings &settings = Forms::instance().settings;
    if (const std::optional<QString> speed = speedForItem(index))
        settings.CurrentPortSpeed = *speed;
    else
        showValue(Combo_Vitesse, settings.CurrentPortSpeed);
    portChanged_ = true;
    Btn_Appliquer->setEnabled(true);
}

// An item that changes nothing leaves the list showing the value still in force.
void TPagesDlg::showValue(QComboBox *combo, const QString &value)
{
    combo->setPlaceholderText(value);
    combo->setCurrentIndex(-1);
}

// Each page applies what was changed on it; "Appliquer" stays available while one of them
// could not, for another try.
void TPagesDlg::Btn_AppliquerClick()
{
    bool done = true;
    if (Lieu->changed()) {
        QString error;
        if (!Lieu->apply(&error)) {
            showErrorReport(error, this);
            done = false;
        } else {
            emit Forms::instance().placeChanged();
        }
    }
    if (Telecommande->changed()) {
        QString error;
        if (!Telecommande->apply(&error)) {
            showErrorReport(error, this);
            done = false;
        }
    }
    if (portChanged_) {
        portChanged_ = !applyPort();
        done = done && !portChanged_;
    }
    if (done)
        Btn_Appliquer->setEnabled(false);
}

bool TPagesDlg::applyPort()
{
    const TForm_ActBtn *panel = Forms::instance().Form_ActBtn;
    if (!panel) {
        showErrorReport(QStringLiteral(u"Aucun panneau n'est chargé : le port ne peut pas être réglé."), this);
        return false;
    }
    // Renaming an open port reopens it, which may fail: the error is reported. A port left
    // closed by an earlier failure is opened under the chosen name, so that "Appliquer" never
    // reads as done while the panel has no port.
    return runReportingErrors(
        [&] {
            const PanelSettings &settings = Forms::instance().settings;
            TCustomComPort &port = *panel->ComPort1;
            port.setPort(settings.CurrentPortName);
            port.setBaudRate(TCustomComPort::BaudRateFromText(settings.CurrentPortSpeed));
            if (!port.Connected())
                port.OpenPort();
        },
        this);
}

void TPagesDlg::Btn_ImageGeneraleClick()
{
    const QString path = choosePicture();
    if (path.isEmpty()) {
        showMessage(QStringLiteral(u"L'ouverture est annulée"));
        return;
    }
    QString error;
    const QImage picture = readPicture(path, &error);
    if (picture.isNull()) {
        showErrorReport(QStringLiteral(u"Impossible de charger l'image « %1 » : %2").arg(path, error), this);
        return;
    }
    if (editor_.Image_Activateur)
        editor_.Image_Activateur->setPixmap(QPixmap::fromImage(picture));
}

void TPagesDlg::Btn_AnnulerImageClick()
{
    if (!editor_.Image_Activateur)
        return;
    editor_.Image_Activateur->clear();
    const QImage picture = loadPanelPicture(PanelFiles::picture());
    if (!picture.isNull())
        editor_.Image_Activateur->setPixmap(QPixmap::fromImage(picture));
}

void TPagesDlg::Btn_ReduireGeneraleClick()
{
    Forms::instance().settings.ReduceToTray = true;
    showOptions();
}

void TPagesDlg::Btn_NoReduireGeneraleClick()
{
    Forms::instance().settings.ReduceToTray = false;
    showOptions();
}

void TPagesDlg::Btn_MenuSortieClick()
{
    Forms::instance().settings.ExitMenusEnabled = true;
    showOptions();
}

void TPagesDlg::Btn_NoMenuSortieClick()
{
    Forms::instance().settings.ExitMenusEnabled = false;
    showOptions();
}

void TPagesDlg::Btn_MoveFentreYesClick()
{
    Forms::instance().settings.MoveMainWindow = true;
    showOptions();
}

void TPagesDlg::Btn_MoveFenetreNoClick()
{
    Forms::instance().settings.MoveMainWindow = false;
    showOptions();
}

void TPagesDlg::HelpBtnClick()
{
    close();
}

QString TPagesDlg::defaultPictureChooser()
{
    QFileDialog dialog(this, QString(), QDir::currentPath(), QStringLiteral("bmp (*.bmp *.BMP)"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    const TForm_ActBtn::KeyHookPause typing;
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.selectedFiles().value(0);
}

void TPagesDlg::defaultMessage(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationDisplayName(), text, QMessageBox::Ok, this);
    box.exec();
}

} // namespace zelvar
