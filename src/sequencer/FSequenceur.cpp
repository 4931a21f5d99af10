#include "sequencer/FSequenceur.h"

#include "common/Colors.h"
#include "forms/ErrorReport.h"
#include "forms/Forms.h"
#include "devices/ComPort.h"
#include "panel/Form_ActBtn.h"
#include "sequencer/Activities.h"
#include "sequencer/SequencePlayer.h"
#include "sequencer/SequencerLayout.h"
#include "widgets/ControlDrag.h"
#include "widgets/Fonts.h"
#include "widgets/Form_Splash.h"
#include "widgets/HorzUpDown.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>

namespace zelvar {

namespace L = SequencerLayout;

namespace {

constexpr int WindowColor = 0x7D454C;
constexpr int Red = 0x0000FF;
constexpr int TrackColor = 0xFFC0D5;
constexpr int AreaFill = 0xAF7085;
constexpr int ZoomFill = 0xE196B1;
constexpr int TimeColor = 0x60B6DF;

void setColors(QWidget *w, int background, int text = -1)
{
    QPalette p = w->palette();
    for (auto role : {QPalette::Window, QPalette::Base, QPalette::Button})
        p.setColor(role, colorFromBgr(background));
    if (text >= 0)
        for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            p.setColor(role, colorFromBgr(text));
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

QPushButton *pushButton(QWidget *parent, const QString &name, const QString &text, QRect geometry)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setGeometry(geometry);
    b->setFocusPolicy(Qt::TabFocus);
    return b;
}

// The file chosen in a file dialog; empty when it was cancelled.
QString chosenFile(QFileDialog &dialog)
{
    return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty() ? dialog.selectedFiles().first()
                                                                                      : QString();
}

} // namespace

TFSequenceur::TFSequenceur(QWidget *owner, std::unique_ptr<PlaybackClock> clock)
    : QMainWindow(owner, Qt::Window)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("FSequenceur"));
    setWindowTitle(QStringLiteral("Sequenceur"));
    setFont(uiFont());
    showMessage = [this](const QString &text) {
        if (messageHook())
            messageHook()(text);
        else
            QMessageBox::information(this, windowTitle(), text);
    };
    askSavePath = [this] {
        QDir().mkpath(Activities::Folder);
        QFileDialog dialog(this, QStringLiteral("Enregistrer sous"), Activities::Folder,
                           QStringLiteral("Séquences (*.ini)"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("ini"));
        return chosenFile(dialog);
    };
    askOpenPath = [this] {
        QFileDialog dialog(this, QStringLiteral("Ouvrir"), Activities::Folder, QStringLiteral("Séquences (*.ini)"));
        dialog.setFileMode(QFileDialog::ExistingFile);
        return chosenFile(dialog);
    };
    m_player = std::make_unique<SequencePlayer>(
        state(),
        [] {
            TForm_ActBtn *panel = Forms::instance().Form_ActBtn;
            return panel ? PanelTarget{panel->ComPort1, &panel->buttons()} : PanelTarget{};
        },
        std::move(clock));
    connect(m_player.get(), &SequencePlayer::ticked, this, &TFSequenceur::onTicked);
    connect(m_player.get(), &SequencePlayer::failed, this, &TFSequenceur::onFailed);
    connect(m_player.get(), &SequencePlayer::playingChanged, this, [this](bool playing) {
        if (playing)
            m_reportedThisRun = false;
    });
    createControls();
    createMenus();
    Forms::instance().FSequenceur = this;
    FormCreate();
}

TFSequenceur::~TFSequenceur() = default;

TFSequenceur::MessageHook &TFSequenceur::messageHook()
{
    static MessageHook hook;
    return hook;
}

void TFSequenceur::setMessageHook(MessageHook hook)
{
    messageHook() = std::move(hook);
}

bool TFSequenceur::eventFilter(QObject *watched, QEvent *event)
{
    // A list entered from another control; not the focus coming back from its own drop-down
    // or with the window.
    if (event->type() == QEvent::FocusIn) {
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason)
            if (auto *combo = qobject_cast<QComboBox *>(watched))
                OnEnterComboSeq(combo);
    }
    return QMainWindow::eventFilter(watched, event);
}

SequenceState &TFSequenceur::state()
{
    return Forms::instance().sequence;
}

void TFSequenceur::createControls()
{
    m_scroll = new QScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(false);
    m_client = new QWidget;
    m_client->setObjectName(QStringLiteral("client"));
    setColors(m_client, WindowColor);
    // Beyond the content, the view shows the window's colour too.
    setColors(m_scroll->viewport(), WindowColor);
    m_scroll->setWidget(m_client);
    setCentralWidget(m_scroll);

    Combo_Activites = new QComboBox(m_client);
    Combo_Activites->setObjectName(QStringLiteral("Combo_Activites"));
    Combo_Activites->setGeometry(8, 13, 106, 21);
    Combo_Activites->setPlaceholderText(QStringLiteral("Activites"));
    setColors(Combo_Activites, WindowColor, 0xFFFFFF);
    connect(Combo_Activites, &QComboBox::activated, this, &TFSequenceur::Combo_ActivitesSelect);

    Scroll_PanelprincSeq = new QWidget(m_client);
    Scroll_PanelprincSeq->setObjectName(QStringLiteral("Scroll_PanelprincSeq"));
    Scroll_PanelprincSeq->setGeometry(0, 40, 769, L::MinAreaHeight);

    PaCurseur = new QWidget(m_client);
    PaCurseur->setObjectName(QStringLiteral("PaCurseur"));
    PaCurseur->setGeometry(120, 5, 645, L::RulerHeight);
    setColors(PaCurseur, 0xF0F0F0);
    Image_Curseur = new RulerPicture(PaCurseur);
    Image_Curseur->setObjectName(QStringLiteral("Image_Curseur"));
    Image_Curseur->setGeometry(0, 0, 645, L::RulerHeight);
    // A press and release clicks the ruler; a press and move drags the play cursor.
    new ControlDrag(
        Image_Curseur, [this] { return static_cast<QWidget *>(Btn_Curseur1); }, [this] { cursorDragEnded(); },
        [this](QPoint at) { Image_CurseurClick(at); });

    QWidget *area = Scroll_PanelprincSeq;
    Image_PlageBtn = new FillPicture(area);
    Image_PlageBtn->setObjectName(QStringLiteral("Image_PlageBtn"));
    Image_PlageBtn->setGeometry(119, 0, 645, L::MinAreaHeight);
    Image_PlageBtn->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Image_PlageBtn, &QWidget::customContextMenuRequested, this, [this](QPoint at) {
        m_popupAt = Image_PlageBtn->mapTo(Scroll_PanelprincSeq, at);
        Popup_PlageBtn->popup(Image_PlageBtn->mapToGlobal(at));
    });

    ScrollBox_Piste = new QWidget(area);
    ScrollBox_Piste->setObjectName(QStringLiteral("ScrollBox_Piste"));
    ScrollBox_Piste->setGeometry(0, 0, 120, L::MinAreaHeight);
    Image_Piste = new FillPicture(ScrollBox_Piste);
    Image_Piste->setObjectName(QStringLiteral("Image_Piste"));
    Image_Piste->setGeometry(-7, -5, 120, L::MinAreaHeight);
    Image_Piste->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Image_Piste, &QWidget::customContextMenuRequested, this,
            [this](QPoint at) { Popup_Pistes->popup(Image_Piste->mapToGlobal(at)); });
    Btn_DelPiste = pushButton(ScrollBox_Piste, QStringLiteral("Btn_DelPiste"), QStringLiteral("- piste"), {0, 0, 60, 19});
    Btn_DelPiste->setToolTip(QStringLiteral("Effacer la piste en cours"));
    connect(Btn_DelPiste, &QPushButton::clicked, this, &TFSequenceur::Btn_DelPisteClick);
    Btn_AddPiste = pushButton(ScrollBox_Piste, QStringLiteral("Btn_AddPiste"), QStringLiteral("+ piste"), {60, 0, 60, 19});
    connect(Btn_AddPiste, &QPushButton::clicked, this, &TFSequenceur::Btn_AddPisteClick);
    EditNomBtn = new QLineEdit(ScrollBox_Piste);
    EditNomBtn->setObjectName(QStringLiteral("EditNomBtn"));
    EditNomBtn->setGeometry(0, 20, 120, 21);
    setColors(EditNomBtn, WindowColor, 0xFFFFFF);

    Btn_Curseur1 = pushButton(area, QStringLiteral("Btn_Curseur1"), {}, {120, 0, 2, 395});
    Btn_Loop = pushButton(area, QStringLiteral("Btn_Loop"), {}, {120, L::LoopTop, 9, 28});
    Btn_Loop->setToolTip(QStringLiteral("Loop"));
    new ControlDrag(Btn_Loop, [this] { return static_cast<QWidget *>(Btn_Loop); }, [this] { loopDragEnded(); });

    createControlBar();
}

void TFSequenceur::createControlBar()
{
    PControl = new QWidget(Scroll_PanelprincSeq);
    PControl->setObjectName(QStringLiteral("PControl"));
    PControl->setGeometry(230, 360, 428, 118);
    setColors(PControl, 0x000080);
    PControl->setCursor(Qt::PointingHandCursor);
    Image_Bloc = new QLabel(PControl);
    Image_Bloc->setObjectName(QStringLiteral("Image_Bloc"));
    Image_Bloc->setGeometry(0, 0, 429, 120);
    for (QWidget *handle : {PControl, static_cast<QWidget *>(Image_Bloc)})
        new ControlDrag(handle, [this] { return PControl; }, {});

    Label_CoefTaille = new QLabel(QStringLiteral("0"), PControl);
    Label_CoefTaille->setObjectName(QStringLiteral("Label_CoefTaille"));
    Label_CoefTaille->move(115, 50);
    Label_CoefTaille->resize(80, 14);
    Label1 = new QLabel(QStringLiteral("00"), PControl);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(242, 20);
    QFont big = font();
    big.setPixelSize(37);
    Label1->setFont(big);
    Label1->resize(166, 44);
    setColors(Label1, TimeColor, 0x000000);
    EditTemps = new QLineEdit(PControl);
    EditTemps->setObjectName(QStringLiteral("EditTemps"));
    EditTemps->setGeometry(115, 20, 73, 21);
    EditTemps->setFrame(false);
    QFont mid = font();
    mid.setPixelSize(16);
    EditTemps->setFont(mid);
    setColors(EditTemps, TimeColor);
    IncTempsBtn = new TUpDown(PControl);
    IncTempsBtn->setObjectName(QStringLiteral("IncTempsBtn"));
    IncTempsBtn->setGeometry(67, 20, 25, 50);
    IncTempsBtn->setRange(0, 3600);
    connect(IncTempsBtn, &TUpDown::Click, this, &TFSequenceur::IncTempsBtnClick);
    TrackBar_CoefTaille = new QSlider(Qt::Horizontal, PControl);
    TrackBar_CoefTaille->setObjectName(QStringLiteral("TrackBar_CoefTaille"));
    TrackBar_CoefTaille->setGeometry(15, 84, 160, 45);
    TrackBar_CoefTaille->setRange(SequenceState::MinCoefTaille, SequenceState::MaxCoefTaille);
    TrackBar_CoefTaille->setTickInterval(2);
    TrackBar_CoefTaille->setTickPosition(QSlider::TicksBelow);
    TrackBar_CoefTaille->setPageStep(1);
    TrackBar_CoefTaille->setValue(1);
    connect(TrackBar_CoefTaille, &QSlider::valueChanged, this, &TFSequenceur::TrackBar_CoefTailleChange);
    Btn_Stop = pushButton(PControl, QStringLiteral("Btn_Stop"), QStringLiteral("Stop"), {181, 82, 75, 21});
    connect(Btn_Stop, &QPushButton::clicked, this, &TFSequenceur::Btn_StopClick);
    Btn_Lecture = new TXiButton(PControl);
    Btn_Lecture->setObjectName(QStringLiteral("Btn_Lecture"));
    Btn_Lecture->setColorScheme(TColorScheme::csNeoDesert);
    Btn_Lecture->setGeometry(247, 82, 75, 21);
    Btn_Lecture->setCaption(QStringLiteral("Lecture"));
    connect(Btn_Lecture, &TXiButton::clicked, this, &TFSequenceur::Btn_LectureClick);
    UAvanRecul = new THorzUpDown(PControl);
    UAvanRecul->setObjectName(QStringLiteral("UAvanRecul"));
    UAvanRecul->setGeometry(319, 82, 97, 21);
    UAvanRecul->setRange(0, 3600);
    UAvanRecul->setPosition(120);
    connect(UAvanRecul, &TUpDown::Click, this, &TFSequenceur::UAvanReculClick);
    Btn_VoirPiste = pushButton(PControl, QStringLiteral("Btn_VoirPiste"), QStringLiteral("Pistes"), {15, 20, 46, 20});
    Btn_VoirPiste->setToolTip(QStringLiteral("Aficher/Reinit les pistes"));
    connect(Btn_VoirPiste, &QPushButton::clicked, this, &TFSequenceur::Btn_VoirPisteClick);
    Btn_HideRegle = pushButton(PControl, QStringLiteral("Btn_HideRegle"), QStringLiteral("Regle"), {15, 50, 46, 20});
    Btn_HideRegle->setToolTip(QStringLiteral("Aficher/Reinit la regle"));
    connect(Btn_HideRegle, &QPushButton::clicked, this, &TFSequenceur::Btn_HideRegleClick);
    Btn_Lecture->raise();
}

void TFSequenceur::createMenus()
{
    const auto item = [this](QMenu *menu, const QString &name, const QString &text, auto handler) {
        QAction *a = menu->addAction(text);
        a->setObjectName(name);
        connect(a, &QAction::triggered, this, handler);
        return a;
    };
    QMenu *fichier = menuBar()->addMenu(QStringLiteral("Fichier"));
    item(fichier, QStringLiteral("Btn_Nouveau"), QStringLiteral("Nouveau"), &TFSequenceur::Btn_NouveauClick);
    item(fichier, QStringLiteral("Ouvrir1"), QStringLiteral("Ouvrir"), &TFSequenceur::Ouvrir1Click);
    item(fichier, QStringLiteral("Btn_Enregistrer1"), QStringLiteral("Enrg  les reglages"),
         &TFSequenceur::Btn_Enregistrer1Click);
    item(fichier, QStringLiteral("Enrglesequenceursous1"), QStringLiteral("Enrg les reglages sous"),
         &TFSequenceur::Enrglesequenceursous1Click);
    item(fichier, QStringLiteral("Bt_Quitter1"), QStringLiteral("Quitter"), [this] { close(); });
    Activites1 = menuBar()->addMenu(QStringLiteral("Activites"));
    QMenu *help = menuBar()->addMenu(QStringLiteral("?"));
    item(help, QStringLiteral("Aproposde1"), QStringLiteral("A propos de"), &TFSequenceur::Aproposde1Click);
    item(help, QStringLiteral("Contactezmoi1"), QStringLiteral("Contactez-moi"), [] {});

    Popup_PlageBtn = new QMenu(this);
    item(Popup_PlageBtn, QStringLiteral("AddBtClickPopup"), QStringLiteral("Ajouter un bouton"), [this] { BtnAdd(false); });
    item(Popup_PlageBtn, QStringLiteral("AddBtnSurCurseur"), QStringLiteral("Ajouter un bouton au curseur"),
         [this] { BtnAdd(true); });
    item(Popup_PlageBtn, QStringLiteral("Menuitem_DelBtn"), QStringLiteral("Effacer le bouton en cours"),
         &TFSequenceur::BtnDelClick);
    item(Popup_PlageBtn, QStringLiteral("Menuitem_SetLoop"), QStringLiteral("Placer le Loop au curseur"),
         &TFSequenceur::Menuitem_SetLoopClick);
    item(Popup_PlageBtn, QStringLiteral("Menuitem_SeeOutils"), QStringLiteral("Afficher la barre de control"),
         &TFSequenceur::Menuitem_SeeOutilsClick);
    Popup_Pistes = new QMenu(this);
    item(Popup_Pistes, QStringLiteral("MenuItem_AddPiste"), QStringLiteral("Ajouter une piste"),
         &TFSequenceur::Btn_AddPisteClick);
    item(Popup_Pistes, QStringLiteral("MenuItem_DelPiste"), QStringLiteral("Suprimer la piste en cours"),
         &TFSequenceur::Btn_DelPisteClick);
}

void TFSequenceur::FormCreate()
{
    auto *splash = new TForm_Splash(this);
    Forms::instance().Form_Splash = splash;
    splash->setGeometry(300, 300, 500, 400);
    m_startSplash = splash;

    SequenceState &s = state();
    s.FichierSeq = Activities::DefaultFile;
    DetectIni();
    Combo_Activites->setCurrentIndex(0);
    const QString shown = playTimeText(s.PositionLecture);
    EditTemps->setText(shown);
    Label1->setText(shown);
    IncTempsBtn->setPosition(120);
    s.PisteEnCours = 0;
    s.BtnEnCours = 0;
    s.CoefTaille = 1;
    Chargement();
    PaintForme();
}

void TFSequenceur::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // The start-up splash goes up once this window is on the screen, owned by it, so that
    // the window does not cover it for its two seconds; the window keeps the keyboard. A
    // window manager raises the window it activates: the splash asks to stay above.
    if (TForm_Splash *splash = std::exchange(m_startSplash, nullptr))
        QTimer::singleShot(0, splash, [this, splash] {
            splash->setAttribute(Qt::WA_ShowWithoutActivating);
            splash->setWindowFlag(Qt::WindowStaysOnTopHint);
            splash->show();
            splash->raise();
            activateWindow();
            QTimer::singleShot(2000, splash, &QWidget::close);
        });
}

void TFSequenceur::PaintForme()
{
    QPixmap bar(429, 120);
    bar.fill(colorFromBgr(0x000080));
    {
        QPainter p(&bar);
        p.setPen(QPen(colorFromBgr(0x408080), 3));
        p.setBrush(colorFromBgr(0x808080));
        p.drawRect(QRect(QPoint(2, 2), QPoint(425, 115)));
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(colorFromBgr(TimeColor));
        for (QRect r : {QRect(QPoint(5, 5), QPoint(420, 100)), QRect(QPoint(10, 10), QPoint(200, 75)),
                        QRect(QPoint(210, 10), QPoint(410, 75))})
            p.drawRect(r);
    }
    Image_Bloc->setPixmap(bar);
    if (state().CoefTaille == 1) {
        PaCurseur->setGeometry(122, PaCurseur->y(), 600, L::RulerHeight);
        Image_Curseur->resize(L::rulerWidth(1), L::RulerHeight);
        Image_Curseur->draw(true);
    }
}

void TFSequenceur::DetectIni()
{
    for (QAction *a : Activites1->actions())
        if (a->objectName().startsWith(QStringLiteral("btn")))
            delete a;
    const QStringList items = Activities::DetectIni();
    // The chooser keeps showing the activity it showed, when it is still there.
    const QString shown = Combo_Activites->currentText();
    Combo_Activites->clear();
    Combo_Activites->addItems(items);
    Combo_Activites->setCurrentIndex(std::max<qsizetype>(0, items.indexOf(shown)));
    QAction *before = Activites1->actions().value(0);
    for (int k = 1; k < items.size(); ++k) {
        auto *a = new QAction(items[k], Activites1);
        a->setObjectName(QStringLiteral("btn%1").arg(k));
        a->setVisible(false);
        Activites1->insertAction(before, a);
    }
}

void TFSequenceur::Combo_ActivitesSelect(int index)
{
    const QString file = Activities::fileForItem(index, Combo_Activites->itemText(index));
    askBeforeDropping([this, file] { loadChosen(file); }, [this] { showChosenFile(); });
}

void TFSequenceur::Ouvrir1Click()
{
    askBeforeDropping([this] {
        const QString path = askOpenPath ? askOpenPath() : QString();
        if (path.isEmpty())
            return;
        // Inside the working directory the file is named as the chooser names it.
        const QString relative = QDir::current().relativeFilePath(path);
        loadChosen(relative.startsWith(QStringLiteral("..")) ? QFileInfo(path).absoluteFilePath() : relative);
    });
}

void TFSequenceur::loadChosen(const QString &file)
{
    const Activities::SelectResult result = Activities::load(state(), file, panelButtonCount());
    showChosenFile();
    if (!result.loaded) {
        showMessage(result.message);
        return;
    }
    // The model dropped its tracks and loaded the file's: the controls follow.
    destroyControls();
    buildLoaded(0);
    state().markUnchanged();
}

void TFSequenceur::showChosenFile()
{
    QStringList items;
    for (int k = 0; k < Combo_Activites->count(); ++k)
        items << Combo_Activites->itemText(k);
    Combo_Activites->setCurrentIndex(Activities::itemForFile(items, state().FichierSeq));
    setWindowTitle(state().FichierSeq == Activities::DefaultFile
                       ? QStringLiteral("Sequenceur")
                       : QStringLiteral("Sequenceur - ") + QFileInfo(state().FichierSeq).fileName());
}

int TFSequenceur::panelButtonCount() const
{
    TForm_ActBtn *panel = Forms::instance().Form_ActBtn;
    return panel ? int(panel->buttons().size()) - 1 : 0;
}

TBtnSeq *TFSequenceur::button(int track, int index) const
{
    if (track < 1 || track >= int(m_tracks.size()))
        return nullptr;
    const auto &btns = m_tracks[size_t(track)].Btns;
    return index >= 1 && index < int(btns.size()) ? btns[size_t(index)] : nullptr;
}

void TFSequenceur::showCurrentTime()
{
    const SequenceState &s = state();
    if (currentButton())
        IncTempsBtn->setPosition(s.Pistes[size_t(s.PisteEnCours)].Btns[size_t(s.BtnEnCours)]);
}

TBtnSeq *TFSequenceur::currentButton() const
{
    return button(const_cast<TFSequenceur *>(this)->state().PisteEnCours,
                  const_cast<TFSequenceur *>(this)->state().BtnEnCours);
}

TFSequenceur::TrackControls *TFSequenceur::currentTrack()
{
    const int p = state().PisteEnCours;
    return p >= 1 && p < int(m_tracks.size()) ? &m_tracks[size_t(p)] : nullptr;
}

void TFSequenceur::Chargement()
{
    const int before = state().trackCount();
    const QString refused = state().Chargement(panelButtonCount());
    if (!refused.isEmpty())
        showMessage(Activities::problemMessage(state().FichierSeq + QStringLiteral(" : ") + refused));
    buildLoaded(before);
    state().markUnchanged();
}

void TFSequenceur::buildLoaded(int before)
{
    SequenceState &s = state();
    Btn_Loop->move(s.loopLeft, L::LoopTop);
    TrackBar_CoefTaille->setValue(s.CoefTaille);
    if (m_tracks.empty() && !s.Pistes.empty())
        m_tracks.emplace_back();
    for (int n = before + 1; n <= s.trackCount(); ++n) {
        const TPiste &piste = s.Pistes[size_t(n)];
        TrackControls c = makeTrackControls(n, true);
        c.ComboPiste->setCurrentIndex(piste.Code);
        c.BtnInc->setRange(1, piste.btnCount());
        m_tracks.push_back(c);
        for (int j = 1; j <= piste.btnCount(); ++j)
            m_tracks.back().Btns.push_back(makeButton(n, j, piste.Btns[size_t(j)]));
    }
    PControl->raise();
    EditNomBtn->setText(QString::number(s.trackCount()));
    if (s.trackCount() > before) {
        const TPiste &last = s.Pistes.back();
        if (last.btnCount() > 0)
            IncTempsBtn->setPosition(last.Btns.back());
        PControl->move(PControl->x(), L::controlBarTopBelow(s.trackCount()));
    }
    // The timed-button area stands 50 pixels taller after a load, for the rest of the editing.
    m_buttonAreaExtra = 50;
    resizeAreas();
    Image_Piste->fill(AreaFill);
    Image_PlageBtn->fill(AreaFill);
    PaCurseur->resize(L::rulerWidth(s.CoefTaille), L::RulerHeight);
}

TFSequenceur::TrackControls TFSequenceur::makeTrackControls(int n, bool loaded)
{
    TrackControls c;
    c.ComboPiste = new QComboBox(ScrollBox_Piste);
    c.ComboPiste->setGeometry(loaded ? 3 : 0, L::trackTop(n), loaded ? 110 : 117, 21);
    TForm_ActBtn *panel = Forms::instance().Form_ActBtn;
    c.ComboPiste->addItems(panel ? actionList(panel->buttons()) : QStringList{QStringLiteral("Off")});
    c.ComboPiste->setPlaceholderText(QStringLiteral("Description"));
    c.ComboPiste->setCurrentIndex(-1);
    c.ComboPiste->installEventFilter(this);
    setColors(c.ComboPiste, TrackColor);
    QComboBox *combo = c.ComboPiste;
    connect(combo, &QComboBox::activated, this, [this, combo](int index) { Select_Code(combo, index); });
    // A track's tools act on their own track, which becomes the current one first.
    QPushButton *del = c.DelBtn = pushButton(ScrollBox_Piste, {}, QStringLiteral("-"), {16, L::trackToolsTop(n), 17, 17});
    connect(del, &QPushButton::clicked, this, [this, del] {
        selectTrackOf(del);
        BtnDelClick();
    });
    TUpDown *inc = c.BtnInc = new THorzUpDown(ScrollBox_Piste);
    c.BtnInc->setGeometry(30, L::trackToolsTop(n), 45, 17);
    c.BtnInc->setRange(1, 0);
    connect(inc, &TUpDown::Click, this, [this, inc] {
        selectTrackOf(inc);
        BtnIncClick();
    });
    QPushButton *add = c.AddBtn = pushButton(ScrollBox_Piste, {}, QStringLiteral("+"), {76, L::trackToolsTop(n), 17, 17});
    connect(add, &QPushButton::clicked, this, [this, add] {
        selectTrackOf(add);
        BtnAdd(false);
    });
    c.ComboPiste->setObjectName(QStringLiteral("ComboPiste%1").arg(n));
    c.DelBtn->setObjectName(QStringLiteral("DelBtn%1").arg(n));
    c.BtnInc->setObjectName(QStringLiteral("BtnInc%1").arg(n));
    c.AddBtn->setObjectName(QStringLiteral("AddBtn%1").arg(n));
    for (QWidget *w : {static_cast<QWidget *>(c.ComboPiste), static_cast<QWidget *>(c.DelBtn),
                       static_cast<QWidget *>(c.BtnInc), static_cast<QWidget *>(c.AddBtn)})
        w->show();
    return c;
}

TBtnSeq *TFSequenceur::makeButton(int track, int index, int time)
{
    auto *b = new TBtnSeq(Scroll_PanelprincSeq);
    QString name = L::buttonName(track, index);
    if (m_buttonNames.contains(name)) {
        const QString fallback = L::fallbackButtonName(track, index);
        name = fallback;
        for (int k = 2; m_buttonNames.contains(name); ++k)
            name = fallback + QStringLiteral("_%1").arg(k);
        showMessage(QStringLiteral("erreur de nommage des boutons"));
    }
    m_buttonNames.insert(name);
    b->setObjectName(name);
    b->setCaption(name);
    b->move(L::leftForTime(time), L::trackTop(track));
    connect(b, &TXiButton::focusEntered, this, [this, b] { OnEnterBtnSeq(b); });
    // The drag moves the current button, as the focus made it on the press.
    new ControlDrag(b, [this] { return static_cast<QWidget *>(currentButton()); }, [this] { buttonDragEnded(); });
    b->setToolTip(name);
    // A new child stands above the others already: only the control bar goes over it, once
    // the caller has made its buttons.
    b->show();
    return b;
}

void TFSequenceur::resizeAreas()
{
    SequenceState &s = state();
    const int height = L::areaHeight(s.trackCount());
    const int buttonArea = height + m_buttonAreaExtra;
    // The control bar placed below the tracks stays inside the area.
    const int editing = std::max(buttonArea, PControl->geometry().bottom() + 1);
    ScrollBox_Piste->resize(120, height);
    Image_Piste->resize(120, height);
    Image_PlageBtn->setGeometry(119, 0, Image_PlageBtn->width(), buttonArea);
    Scroll_PanelprincSeq->resize(L::editingWidth(s.CoefTaille), editing);
    Btn_Curseur1->resize(2, height);
    m_client->resize(L::scrollWidth(s.CoefTaille), 40 + editing);
}

void TFSequenceur::TrackBar_CoefTailleChange()
{
    SequenceState &s = state();
    s.CoefTaille = SequenceState::clampZoom(TrackBar_CoefTaille->value());
    const int ruler = L::rulerWidth(s.CoefTaille);
    PaCurseur->resize(ruler, L::RulerHeight);
    Image_Curseur->resize(ruler, L::RulerHeight);
    Image_Curseur->draw(false);
    Image_PlageBtn->resize(L::areaWidth(s.CoefTaille), Image_PlageBtn->height());
    Image_PlageBtn->fill(ZoomFill);
    Scroll_PanelprincSeq->resize(L::editingWidth(s.CoefTaille), Scroll_PanelprincSeq->height());
    m_client->resize(L::scrollWidth(s.CoefTaille), m_client->height());
    UAvanRecul->setRange(0, ruler);
    IncTempsBtn->setRange(0, ruler);
    Label_CoefTaille->setText(L::zoomLabel(s.CoefTaille));
}

void TFSequenceur::setTrackColor(int track, int bgr)
{
    if (track >= 1 && track < int(m_tracks.size()))
        setColors(m_tracks[size_t(track)].ComboPiste, bgr);
}

void TFSequenceur::setButtonColor(TBtnSeq *button, int bgr)
{
    if (button)
        button->setColorFace(bgr);
}

void TFSequenceur::DeColorierBtn()
{
    for (size_t i = 1; i < m_tracks.size(); ++i)
        for (size_t j = 1; j < m_tracks[i].Btns.size(); ++j)
            setButtonColor(m_tracks[i].Btns[j], TBtnSeq::Face);
}

void TFSequenceur::DeColorierPiste()
{
    for (size_t i = 1; i < m_tracks.size(); ++i) {
        setColors(m_tracks[i].ComboPiste, TrackColor);
        m_tracks[i].AddBtn->setEnabled(false);
        m_tracks[i].DelBtn->setEnabled(false);
        m_tracks[i].BtnInc->setEnabled(false);
    }
}

void TFSequenceur::AddPiste2()
{
    SequenceState &s = state();
    s.AddPiste2();
    if (m_tracks.empty())
        m_tracks.emplace_back();
    m_tracks.push_back(makeTrackControls(s.trackCount(), false));
}

void TFSequenceur::Btn_AddPisteClick()
{
    SequenceState &s = state();
    Btn_DelPiste->setEnabled(true);
    if (s.PisteEnCours == 0) {
        AddPiste2();
        setTrackColor(s.PisteEnCours, Red);
        currentTrack()->DelBtn->setEnabled(false);
        placeControlBarBelowTracks();
        resizeAreas();
        return;
    }
    DeColorierPiste();
    AddPiste2();
    TrackControls *c = currentTrack();
    setTrackColor(s.PisteEnCours, Red);
    c->AddBtn->setEnabled(true);
    c->DelBtn->setEnabled(true);
    DeColorierBtn();
    Image_Piste->fill(AreaFill);
    Image_PlageBtn->fill(AreaFill);
    placeControlBarBelowTracks();
    resizeAreas();
}

void TFSequenceur::placeControlBarBelowTracks()
{
    const int tracks = state().trackCount();
    if (L::coversTrack(PControl->y(), PControl->height(), tracks))
        PControl->move(PControl->x(), L::controlBarTopBelow(tracks));
}

void TFSequenceur::nameTrack(int n, bool afterDeletion)
{
    TrackControls &c = m_tracks[size_t(n)];
    c.ComboPiste->setObjectName(QStringLiteral("ComboPiste%1").arg(n));
    c.DelBtn->setObjectName((afterDeletion ? QStringLiteral("BtnDelPiste%1") : QStringLiteral("DelBtn%1")).arg(n));
    c.BtnInc->setObjectName((afterDeletion ? QStringLiteral("IncPiste%1") : QStringLiteral("BtnInc%1")).arg(n));
    c.AddBtn->setObjectName((afterDeletion ? QStringLiteral("BtnAddPiste%1") : QStringLiteral("AddBtn%1")).arg(n));
}

void TFSequenceur::placeTrack(int n)
{
    TrackControls &c = m_tracks[size_t(n)];
    c.ComboPiste->move(c.ComboPiste->x(), L::trackTop(n));
    c.DelBtn->move(c.DelBtn->x(), L::trackToolsTop(n));
    c.BtnInc->move(c.BtnInc->x(), L::trackToolsTop(n));
    c.AddBtn->move(c.AddBtn->x(), L::trackToolsTop(n));
    for (size_t j = 1; j < c.Btns.size(); ++j)
        c.Btns[j]->move(c.Btns[j]->x(), L::trackTop(n));
}

void TFSequenceur::Btn_DelPisteClick()
{
    SequenceState &s = state();
    const int removed = s.PisteEnCours;
    if (removed < 1 || removed >= int(m_tracks.size()))
        return;
    const bool wasLast = removed == s.trackCount();
    TrackControls &c = m_tracks[size_t(removed)];
    for (QWidget *w : {static_cast<QWidget *>(c.ComboPiste), static_cast<QWidget *>(c.AddBtn),
                       static_cast<QWidget *>(c.DelBtn), static_cast<QWidget *>(c.BtnInc)})
        delete w;
    for (size_t j = 1; j < c.Btns.size(); ++j)
        dropButton(c.Btns[j]);
    m_tracks.erase(m_tracks.begin() + removed);
    s.removePiste(removed);
    if (!wasLast)
        for (int n = 1; n < int(m_tracks.size()); ++n) {
            placeTrack(n);
            nameTrack(n, true);
        }
    TrackControls *last = currentTrack();
    if (!last)
        return;
    setTrackColor(s.PisteEnCours, Red);
    last->AddBtn->setEnabled(true);
    last->BtnInc->setRange(1, s.Pistes.back().btnCount());
    if (TBtnSeq *b = currentButton()) {
        setButtonColor(b, Red);
        showCurrentTime();
        last->DelBtn->setEnabled(true);
        last->BtnInc->setEnabled(true);
    }
}

void TFSequenceur::BtnAdd(bool atCursor)
{
    SequenceState &s = state();
    TrackControls *c = currentTrack();
    if (!c)
        return;
    DeColorierBtn();
    const int track = s.PisteEnCours;
    const int j = s.Pistes[size_t(track)].btnCount() + 1;
    const int left = atCursor ? Btn_Curseur1->x() : L::Margin + 10 * j;
    s.addBtn(track, int(L::timeForLeft(left)));
    TBtnSeq *b = makeButton(track, j, int(L::timeForLeft(left)));
    PControl->raise();
    c = currentTrack();
    c->Btns.push_back(b);
    const TPiste &piste = s.Pistes[size_t(track)];
    EditTemps->setText(L::statusAfterAdd(track, s.trackCount(), piste.btnCount(), piste.NbBtns));
    setButtonColor(b, Red);
    showCurrentTime();
    c->BtnInc->setRange(1, piste.btnCount());
    c->BtnInc->setPosition(j);
    c->BtnInc->setEnabled(true);
    c->DelBtn->setEnabled(true);
}

void TFSequenceur::BtnDelClick()
{
    SequenceState &s = state();
    TrackControls *c = currentTrack();
    if (!c)
        return;
    c->AddBtn->setEnabled(true);
    TBtnSeq *b = currentButton();
    if (!b) {
        c->DelBtn->setEnabled(false);
        return;
    }
    c->DelBtn->setEnabled(true);
    const int track = s.PisteEnCours;
    c->Btns.erase(c->Btns.begin() + s.BtnEnCours);
    dropButton(b);
    s.removeBtn(track, s.BtnEnCours);
    const TPiste &piste = s.Pistes[size_t(track)];
    c->BtnInc->setRange(1, piste.btnCount());
    DeColorierBtn();
    EditTemps->setText(L::statusAfterDelete(track, s.trackCount(), piste.btnCount(), s.BtnEnCours));
    setButtonColor(currentButton(), Red);
    showCurrentTime();
}

void TFSequenceur::BtnIncClick()
{
    SequenceState &s = state();
    TrackControls *c = currentTrack();
    if (!c)
        return;
    if (!currentButton()) {
        c->BtnInc->setEnabled(false);
        return;
    }
    DeColorierBtn();
    const TPiste &piste = s.Pistes[size_t(s.PisteEnCours)];
    s.BtnEnCours = std::clamp(c->BtnInc->Position(), 1, piste.btnCount());
    TBtnSeq *b = currentButton();
    showCurrentTime();
    EditNomBtn->setText(b->Caption());
    EditTemps->setText(L::statusAfterPick(s.PisteEnCours, s.trackCount(), piste.btnCount()));
    setButtonColor(b, Red);
    c->BtnInc->setRange(1, piste.btnCount());
    c->BtnInc->setEnabled(true);
    c->DelBtn->setEnabled(true);
}

void TFSequenceur::IncTempsBtnClick()
{
    TBtnSeq *b = currentButton();
    if (!b)
        return;
    SequenceState &s = state();
    const int time = IncTempsBtn->Position();
    b->move(L::leftForTime(time), b->y());
    s.Pistes[size_t(s.PisteEnCours)].Btns[size_t(s.BtnEnCours)] = time;
    EditTemps->setText(playTimeText(time));
    EditNomBtn->setText(b->Caption());
}

void TFSequenceur::OnEnterBtnSeq(TBtnSeq *focused)
{
    SequenceState &s = state();
    if (TrackControls *c = currentTrack()) {
        c->DelBtn->setEnabled(false);
        c->AddBtn->setEnabled(true);
    }
    for (int i = 1; i < int(m_tracks.size()); ++i)
        for (int j = 1; j < int(m_tracks[size_t(i)].Btns.size()); ++j)
            if (m_tracks[size_t(i)].Btns[size_t(j)] == focused) {
                DeColorierBtn();
                DeColorierPiste();
                s.PisteEnCours = i;
                s.BtnEnCours = j;
                IncTempsBtn->setPosition(s.Pistes[size_t(i)].Btns[size_t(j)]);
                TrackControls &c = m_tracks[size_t(i)];
                setTrackColor(i, Red);
                setButtonColor(focused, Red);
                c.BtnInc->setRange(1, s.Pistes[size_t(i)].btnCount());
                c.BtnInc->setPosition(j);
                c.BtnInc->setEnabled(true);
                c.AddBtn->setEnabled(true);
                c.DelBtn->setEnabled(true);
                return;
            }
}

void TFSequenceur::OnEnterComboSeq(QComboBox *focused)
{
    SequenceState &s = state();
    Btn_DelPiste->setEnabled(true);
    if (TrackControls *c = currentTrack())
        c->AddBtn->setEnabled(true);
    for (int i = 1; i < int(m_tracks.size()); ++i) {
        if (m_tracks[size_t(i)].ComboPiste != focused)
            continue;
        selectTrack(i);
        EditTemps->setText(L::statusAfterTrackFocus(i, s.trackCount(), s.Pistes[size_t(i)].btnCount()));
        return;
    }
}

void TFSequenceur::selectTrack(int track)
{
    SequenceState &s = state();
    DeColorierPiste();
    DeColorierBtn();
    s.PisteEnCours = track;
    s.BtnEnCours = s.Pistes[size_t(track)].btnCount();
    TrackControls &c = m_tracks[size_t(track)];
    c.AddBtn->setEnabled(true);
    c.DelBtn->setEnabled(true);
    c.BtnInc->setEnabled(true);
    setTrackColor(track, Red);
    setButtonColor(currentButton(), Red);
    showCurrentTime();
}

void TFSequenceur::selectTrackOf(QWidget *tool)
{
    // The current track keeps its current button: its "-" removes the one picked.
    for (int i = 1; i < int(m_tracks.size()); ++i) {
        const TrackControls &c = m_tracks[size_t(i)];
        if (tool == c.AddBtn || tool == c.DelBtn || tool == c.BtnInc) {
            if (i != state().PisteEnCours)
                selectTrack(i);
            return;
        }
    }
}

void TFSequenceur::Select_Code(QComboBox *combo, int index)
{
    // The focused list's track is the current one; the list that reports is that list.
    for (int i = 1; i < int(m_tracks.size()); ++i)
        if (m_tracks[size_t(i)].ComboPiste == combo) {
            TPiste &piste = state().Pistes[size_t(i)];
            piste.Code = std::max(index, 0);
            piste.keptCode = 0;
        }
}

void TFSequenceur::Btn_VoirPisteClick()
{
    SequenceState &s = state();
    Btn_VoirPiste->setText(QStringLiteral("Pistes"));
    s.EtatPistes = s.EtatPistes == 0 ? 1 : 0;
    ScrollBox_Piste->move(s.EtatPistes == 0 ? m_scroll->horizontalScrollBar()->value() : -1, 0);
    ScrollBox_Piste->raise();
}

void TFSequenceur::Btn_HideRegleClick()
{
    SequenceState &s = state();
    Btn_HideRegle->setText(QStringLiteral("Regle"));
    s.EtatRegle = s.EtatRegle == 0 ? 1 : 0;
    PaCurseur->move(PaCurseur->x(), s.EtatRegle == 0 ? m_scroll->verticalScrollBar()->value() : 5);
    PaCurseur->raise();
}

void TFSequenceur::Menuitem_SeeOutilsClick()
{
    PControl->move(m_popupAt.x() - 213, m_popupAt.y());
    PControl->raise();
}

void TFSequenceur::Btn_NouveauClick()
{
    askBeforeDropping([this] {
        AllDestroy();
        state().markUnchanged();
    });
}

void TFSequenceur::askBeforeDropping(std::function<void()> proceed, std::function<void()> cancelled)
{
    if (!state().changed()) {
        proceed();
        return;
    }
    // One question at a time; and with no main window to ask through, nothing is dropped.
    if (asking() || Forms::instance().Form_Base.isNull()) {
        if (cancelled)
            cancelled();
        return;
    }
    m_afterAnswer = std::move(proceed);
    m_afterCancel = std::move(cancelled);
    // The window waits for the answer, painted as it is.
    m_waitBlock = std::make_unique<InputBlock>(this);
    requestPrompt(QStringLiteral("Sequenceur"), QStringLiteral("Enregistrer"), QStringLiteral("Annuler"),
                  QStringLiteral("Ne pas enregistrer"),
                  QStringLiteral(u"La séquence a changé. Enregistrer dans « %1 » avant de continuer ?")
                      .arg(state().FichierSeq),
                  PromptSave, PromptCancel,
                  PromptDiscard, true, true, true);
}

void TFSequenceur::promptAnswered(int code)
{
    const std::function<void()> proceed = std::exchange(m_afterAnswer, {});
    const std::function<void()> cancelled = std::exchange(m_afterCancel, {});
    m_waitBlock.reset();
    activateWindow();
    if (!proceed)
        return;
    if (code == PromptDiscard || (code == PromptSave && saveToCurrentFile()))
        proceed();
    else if (cancelled)
        cancelled();
}

void TFSequenceur::dropButton(TBtnSeq *button)
{
    m_buttonNames.remove(button->objectName());
    delete button;
}

void TFSequenceur::destroyControls()
{
    for (size_t i = 1; i < m_tracks.size(); ++i) {
        TrackControls &c = m_tracks[i];
        delete c.ComboPiste;
        delete c.AddBtn;
        delete c.DelBtn;
        delete c.BtnInc;
        for (size_t j = 1; j < c.Btns.size(); ++j)
            dropButton(c.Btns[j]);
    }
    m_tracks.clear();
}

void TFSequenceur::AllDestroy()
{
    destroyControls();
    state().AllDestroy();
}

void TFSequenceur::Btn_Enregistrer1Click()
{
    saveToCurrentFile();
}

bool TFSequenceur::saveToCurrentFile()
{
    QString message;
    if (!state().EnregistrerIni_Seq(state().FichierSeq, &message)) {
        showMessage(message);
        return false;
    }
    state().markUnchanged();
    return true;
}

void TFSequenceur::Enrglesequenceursous1Click()
{
    const QString path = askSavePath ? askSavePath() : QString();
    if (path.isEmpty())
        return;
    const Activities::SaveAsTarget target = Activities::saveAsTarget(path);
    if (!target.error.isEmpty()) {
        showMessage(target.error);
        return;
    }
    QString message;
    // The file just written is the one the next "Enregistrer" writes.
    if (state().EnregistrerIni_Seq(target.file, &message)) {
        state().FichierSeq = target.file;
        state().markUnchanged();
    } else {
        showMessage(message);
    }
    DetectIni();
    showChosenFile();
}

void TFSequenceur::Aproposde1Click()
{
    TForm_Splash *splash = Forms::instance().Form_Splash;
    if (!splash) {
        splash = new TForm_Splash(this);
        Forms::instance().Form_Splash = splash;
        splash->setGeometry(300, 300, 500, 400);
    }
    splash->show();
    splash->raise();
}

void TFSequenceur::Btn_LectureClick()
{
    Btn_Lecture->setCaption(m_player->Btn_LectureClick());
}

void TFSequenceur::Btn_StopClick()
{
    m_player->Btn_StopClick();
    Btn_Lecture->setCaption(SequencePlayer::captionFor(0));
}

void TFSequenceur::showPosition(int position)
{
    Label1->setText(playTimeText(position));
}

void TFSequenceur::UAvanReculClick()
{
    m_player->UAvanReculClick(UAvanRecul->Position());
    const int position = state().PositionLecture;
    showPosition(position);
    Btn_Curseur1->move(L::leftForTime(position), Btn_Curseur1->y());
}

void TFSequenceur::onTicked(int shown)
{
    Btn_Curseur1->move(L::leftForTime(shown), Btn_Curseur1->y());
    showPosition(shown);
    UAvanRecul->setPosition(shown);
    const L::Follow f = L::follow(Btn_Curseur1->x(), state().CoefTaille);
    if (f.follows) {
        m_scroll->horizontalScrollBar()->setValue(f.scrollX);
        PControl->move(f.controlBarLeft, PControl->y());
    }
}

void TFSequenceur::onFailed(const QString &message)
{
    // One report per play run, and the clock held while it is open: with the board unplugged
    // a report would otherwise open every second, each inside the last one.
    if (m_reportedThisRun) {
        EditTemps->setText(message);
        return;
    }
    m_reportedThisRun = true;
    m_player->holdClock([&] { showErrorReport(message, this); });
}

void TFSequenceur::Image_CurseurClick(QPoint at)
{
    SequenceState &s = state();
    Btn_Curseur1->move(at.x() + L::Margin, at.y());
    PControl->move(L::controlBarLeftAfterClick(at.x(), s.CoefTaille), L::controlBarTopAfterClick(s.trackCount()));
    resizeAreas();
    ScrollBox_Piste->move(m_scroll->horizontalScrollBar()->value(), ScrollBox_Piste->y());
    showPosition(s.PositionLecture);
    s.PositionLecture = int(L::timeForLeft(Btn_Curseur1->x()));
    UAvanRecul->setPosition(s.PositionLecture);
}

void TFSequenceur::cursorDragEnded()
{
    SequenceState &s = state();
    showPosition(s.PositionLecture);
    s.PositionLecture = int(L::timeForLeft(Btn_Curseur1->x()));
    UAvanRecul->setPosition(s.PositionLecture);
    Btn_Curseur1->move(L::cursorLeftAfterDrag(Btn_Curseur1->x(), s.CoefTaille), 0);
}

void TFSequenceur::Menuitem_SetLoopClick()
{
    Btn_Loop->move(Btn_Curseur1->x(), Btn_Loop->y());
    state().loopLeft = Btn_Loop->x();
}

void TFSequenceur::loopDragEnded()
{
    SequenceState &s = state();
    EditTemps->setText(playTimeText(L::timeForLeft(Btn_Loop->x())));
    const int left = L::loopLeftAfterDrag(Btn_Loop->x(), s.CoefTaille);
    const bool broughtBack = Btn_Loop->x() < L::Margin;
    Btn_Loop->move(left, L::LoopTop);
    if (broughtBack)
        EditTemps->setText(playTimeText(L::timeForLeft(left)));
    s.loopLeft = left;
}

void TFSequenceur::buttonDragEnded()
{
    TBtnSeq *b = currentButton();
    if (!b)
        return;
    SequenceState &s = state();
    const int track = s.PisteEnCours;
    EditTemps->setText(playTimeText(L::timeForLeft(b->x())));
    EditNomBtn->setText(b->Caption());
    IncTempsBtn->setPosition(int(L::timeForLeft(b->x())));
    setButtonColor(b, Red);
    TrackControls *c = currentTrack();
    c->BtnInc->setRange(1, s.Pistes[size_t(track)].btnCount());
    c->BtnInc->setPosition(s.BtnEnCours);
    c->BtnInc->setEnabled(true);
    c->DelBtn->setEnabled(true);
    // The button stays on its track and within the ruler.
    const bool broughtBack = b->x() < L::Margin;
    b->move(L::buttonLeftAfterDrag(b->x(), s.CoefTaille), c->ComboPiste->y());
    if (broughtBack)
        EditTemps->setText(playTimeText(L::timeForLeft(b->x())));
    s.Pistes[size_t(track)].Btns[size_t(s.BtnEnCours)] = int(L::timeForLeft(b->x()));
}

void TFSequenceur::closeEvent(QCloseEvent *event)
{
    // Unsaved changes are asked about first; the answer closes the window again.
    if (asking() || (!m_closing && state().changed())) {
        event->ignore();
        askBeforeDropping([this] {
            m_closing = true;
            close();
        });
        return;
    }
    // Nothing is left to fire once the tracks go: the clock stops with the window.
    m_player->Btn_StopClick();
    ActivBtnP(1, 1, 1, 1, 1, 1, 1);
    AllDestroy();
    // The opener shows the main window again.
    emit closed();
    event->accept();
}

} // namespace zelvar
