#include "scheduler/Form_Progmt.h"

#include "common/SingleInstance.h"
#include "devices/ComPort.h"
#include "forms/ErrorReport.h"
#include "forms/Forms.h"
#include "panel/Form_ActBtn.h"
#include "scheduler/ClockSettingsTool.h"
#include "scheduler/ScheduleFile.h"
#include "scheduler/ScheduleMemory.h"
#include "scheduler/SchedulePeriod.h"
#include "scheduler/SchedulePlace.h"
#include "scheduler/ScheduleTime.h"
#include "widgets/UpDown.h"
#include "widgets/DegradeClass.h"
#include "widgets/InputBlock.h"
#include "widgets/Fonts.h"
#include "widgets/SystemColors.h"

#include <QAction>
#include <QCheckBox>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QToolButton>
#include <QStandardPaths>
#include <QTimer>

namespace zelvar {

namespace {

constexpr int StartColor = 8209740;
const QString SunTimeTip = QStringLiteral("L'heure du soleil calculée pour le prochain déclenchement");

const PanelButtons *panelButtons()
{
    const TForm_ActBtn *panel = Forms::instance().Form_ActBtn;
    return panel ? &panel->buttons() : nullptr;
}

void paint(QWidget *control, int color)
{
    const QColor c = resolveColor(color);
    QPalette palette = control->palette();
    palette.setColor(QPalette::Base, c);
    palette.setColor(QPalette::Button, c);
    palette.setColor(QPalette::Window, c);
    control->setPalette(palette);
}

// The system's long time format, without the time zone the toolkit adds to it.
QString longTimeFormat()
{
    QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    format.remove(QRegularExpression(QStringLiteral("\\s*\\bt+\\b\\s*")));
    return format.trimmed();
}

} // namespace

TForm_Progmt::TForm_Progmt(QWidget *owner, std::unique_ptr<ScheduleClock> clock)
    : QWidget(owner, Qt::Window), m_clock(clock ? std::move(clock) : std::make_unique<SystemScheduleClock>())
{
    Forms::instance().Form_Progmt = this;
    m_engine = std::make_unique<ScheduleEngine>(*m_clock);
    connect(m_engine.get(), &ScheduleEngine::fired, this, &TForm_Progmt::fired);
    connect(m_engine.get(), &ScheduleEngine::asserted, this, &TForm_Progmt::asserted);
    connect(m_engine.get(), &ScheduleEngine::missed, this, &TForm_Progmt::missed);
    connect(m_engine.get(), &ScheduleEngine::stopped, this, &TForm_Progmt::stopped);
    connect(m_engine.get(), &ScheduleEngine::sunless, this, [this](int i, const QDate &from, const QDate &to) {
        const QLocale locale = QLocale::system();
        addToLog(m_clock->nowMs(),
                 rowName(i) + QStringLiteral(" : pas de %1 du soleil du %2 au %3 à ce lieu, aucun déclenchement ces jours-là")
                                  .arg(m_engine->row(i).recurrence.sun == Recurrence::Sun::Rise ? QStringLiteral("lever")
                                                                                                 : QStringLiteral("coucher"),
                                       locale.toString(from, QLocale::ShortFormat), locale.toString(to, QLocale::ShortFormat)));
    });
    connect(m_engine.get(), &ScheduleEngine::armedChanged, this, [this] {
        emit Forms::instance().nextAlarmChanged(m_engine->nextInstant(), m_clock->nowMs());
        showNextSoon();
    });
    // Armed sun rows move to the new place's times at once.
    connect(&Forms::instance(), &Forms::placeChanged, this, [this] {
        loadPlace();
        showNext();
    });

    showMessage = [this](const QString &text) {
        QMessageBox::information(this, QApplication::applicationDisplayName(), text);
    };
    startProgram = [](const QString &program, const QStringList &arguments) {
        return QProcess::startDetached(program, arguments);
    };
    programInstalled = [](const QString &program) {
        return !QStandardPaths::findExecutable(program).isEmpty();
    };
    serviceRuns = [] { return SingleInstance::serviceRunsIn(QDir::currentPath()); };

    setObjectName(QStringLiteral("Form_Progmt"));
    setWindowTitle(QStringLiteral("Programateur"));
    setFont(uiFont());
    setFixedSize(FormWidth, 423 + LogHeight);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, resolveColor(SystemColor::BtnFace));
    setPalette(palette);
    setAutoFillBackground(true);

    DegradeClass1 = new TDegradeClass(this);
    DegradeClass1->setObjectName(QStringLiteral("DegradeClass1"));
    DegradeClass1->setStartColor(StartColor);
    DegradeClass1->setEndColor(ColorCream);

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(uiFont(21));
    Label1->move(64, 8);

    GroupBox1 = new QGroupBox(this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(72, 48, 297, 9);

    Btn_ajustHeure = new QPushButton(QStringLiteral("Regler l'heure"), this);
    Btn_ajustHeure->setObjectName(QStringLiteral("Btn_ajustHeure"));
    Btn_ajustHeure->setGeometry(216, 372, 81, 33);
    connect(Btn_ajustHeure, &QPushButton::clicked, this, &TForm_Progmt::Btn_ajustHeureClick);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::NoFrame);
    Panel1->setGeometry(0, 48, 529, 318);
    Panel1->setContextMenuPolicy(Qt::CustomContextMenu);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    PopupMenu1->setFont(uiFont());
    Enregistrer1 = PopupMenu1->addAction(QStringLiteral("Enregistrer"));
    Enregistrer1->setObjectName(QStringLiteral("Enregistrer1"));
    Ouvrir1 = PopupMenu1->addAction(QStringLiteral("Ouvrir"));
    Ouvrir1->setObjectName(QStringLiteral("Ouvrir1"));
    Btn_AddPrgm = PopupMenu1->addAction(QStringLiteral("Ajouter un programateur"));
    Btn_AddPrgm->setObjectName(QStringLiteral("Btn_AddPrgm"));
    connect(Enregistrer1, &QAction::triggered, this, &TForm_Progmt::EnregistrerClick);
    connect(Ouvrir1, &QAction::triggered, this, &TForm_Progmt::OuvrirClick);
    connect(Btn_AddPrgm, &QAction::triggered, this, &TForm_Progmt::Btn_AddPrgmClick);
    connect(Panel1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { PopupMenu1->popup(Panel1->mapToGlobal(at)); });

    Log = new QPlainTextEdit(this);
    Log->setObjectName(QStringLiteral("Log"));
    Log->setReadOnly(true);
    Log->setMaximumBlockCount(LogLines);
    Log->setLineWrapMode(QPlainTextEdit::NoWrap);
    Log->setPlaceholderText(QStringLiteral("Journal : les déclenchements et les programmations manquées s'inscrivent ici."));
    Log->setFocusPolicy(Qt::ClickFocus);

    // Beside "Regler l'heure", just above the log (see resizeEvent).
    ServiceLine = new QLabel(QStringLiteral("Le service zelvar-cli serve déclenche ces alarmes : chaque changement "
                                            "fait ici lui est enregistré."),
                             this);
    ServiceLine->setObjectName(QStringLiteral("ServiceLine"));
    ServiceLine->setWordWrap(true);
    ServiceLine->hide();

    TimerA = new QTimer(this);
    TimerA->setObjectName(QStringLiteral("TimerA"));
    TimerA->setInterval(200);
    connect(TimerA, &QTimer::timeout, this, &TForm_Progmt::TimerATimer);
    m_savedContent = rowsContent();
    TimerATimer();
    loadPlace();
}

TForm_Progmt::~TForm_Progmt() = default;

QString TForm_Progmt::loadPlace()
{
    bool exists = false;
    const ProfileFile file = ProfileFile::load(ScheduleFiles::path(), &exists);
    QString error;
    m_engine->setPlace(exists && !file.unreadable() ? readPlace(file, &error) : std::nullopt);
    return error;
}

void TForm_Progmt::TimerATimer()
{
    followService();
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(m_clock->nowMs(), Qt::LocalTime);
    const QLocale locale = QLocale::system();
    Label1->setText(QStringLiteral("Actuellement : ") + locale.toString(now.date(), QLocale::ShortFormat)
                    + QStringLiteral(" il est ") + locale.toString(now.time(), longTimeFormat()));
    Label1->adjustSize();
    showNext();
}

void TForm_Progmt::showNextSoon()
{
    if (!std::exchange(m_nextPending, true))
        QTimer::singleShot(0, this, [this] { showNext(); });
}

void TForm_Progmt::showNext()
{
    m_nextPending = false;
    const qint64 now = m_clock->nowMs();
    const QLocale locale = QLocale::system();
    for (int i = 1; i <= rowCount(); ++i) {
        const ScheduleRow &r = m_engine->row(i);
        // A disarmed row shows, greyed, when it would fire if launched now.
        const std::optional<qint64> next = r.armed ? m_engine->instantOf(i) : m_engine->nextOccurrence(i, now);
        const QDateTime at = QDateTime::fromMSecsSinceEpoch(next.value_or(0), Qt::LocalTime);
        const QString time = at.time().toString(QStringLiteral("hh:mm:ss"));
        const Row &controls = row(i);
        controls.Prochaine->setText(next ? locale.toString(at.date(), QLocale::ShortFormat) + QLatin1Char(' ') + time : QString());
        controls.Prochaine->setEnabled(r.armed);
        QFont font = controls.Prochaine->font();
        font.setItalic(!r.armed);
        controls.Prochaine->setFont(font);
        // A period's next event may be its end: the sun's time shown is its start's, that day.
        const std::optional<qint64> start = r.end && next ? r.recurrence.instantOn(at.date(), r.timeText, m_engine->place()) : next;
        controls.HeureSoleil->setText(start ? QDateTime::fromMSecsSinceEpoch(*start, Qt::LocalTime).toString(QStringLiteral("hh:mm:ss"))
                                            : QStringLiteral("--:--:--"));
    }
}

template <typename Handler>
void TForm_Progmt::fromControl(QObject *control, Handler handler)
{
    m_sender = control;
    (this->*handler)();
    m_sender = nullptr;
}

void TForm_Progmt::Btn_AddPrgmClick()
{
    if (m_slotCounter > 5) {
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        resize(width(), m_slotCounter * 40 + 300 + LogHeight);
        // At the window's right, clear of the clock's text.
        Btn_ajustHeure->move(FormWidth - Btn_ajustHeure->width() - 16, 10);
    }
    ++m_slotCounter;
    const int s = m_slotCounter;
    const int y = s * 50;
    const QString n = QString::number(s);
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(m_clock->nowMs(), Qt::LocalTime);

    Row row;
    row.slot = s;
    row.DateTimePicker = new QDateEdit(now.date(), this);
    row.DateTimePicker->setObjectName(QStringLiteral("DateTimePicker") + n);
    row.DateTimePicker->setDisplayFormat(QLocale::system().dateFormat(QLocale::ShortFormat));
    row.DateTimePicker->setCalendarPopup(true);
    row.DateTimePicker->setGeometry(28, y, 92, 21);
    row.DateTimePicker->installEventFilter(this);

    row.Memo = new QPlainTextEdit(timeOfDayText(now.time()), this);
    row.Memo->setObjectName(QStringLiteral("Memo") + n);
    row.Memo->setGeometry(120, y, 75, 21);
    row.Memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    row.Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    row.Memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    row.Memo->setTabChangesFocus(true);
    row.Memo->document()->setDocumentMargin(1);
    row.Memo->installEventFilter(this);

    const auto upDown = [&](const QString &name, int x, int max, int position) {
        auto *control = new TUpDown(this);
        control->setObjectName(name + n);
        control->setGeometry(x, y, 17, 21);
        control->setRange(0, max);
        control->setWrap(true);
        control->setPosition(position);
        connect(control, &TUpDown::Click, this, [this, control] { fromControl(control, &TForm_Progmt::UpDown_1); });
        return control;
    };
    row.UpDown_H = upDown(QStringLiteral("UpDown_H"), 178, 23, now.time().hour());
    row.UpDown_min = upDown(QStringLiteral("UpDown_min"), 194, 59, now.time().minute());
    row.UpDown_SecPrgm = upDown(QStringLiteral("UpDown_SecPrgm"), 212, 59, now.time().second());

    row.Combo = new QComboBox(this);
    row.Combo->setObjectName(QStringLiteral("Combo") + n);
    row.Combo->setGeometry(230, y, 160, 25);
    row.Combo->addItem(QStringLiteral("Off"));
    if (const PanelButtons *buttons = panelButtons())
        for (size_t k = 1; k < buttons->size(); ++k)
            row.Combo->addItem((*buttons)[k].description);
    row.Combo->setPlaceholderText(QStringLiteral("Description"));
    row.Combo->setCurrentIndex(-1);
    row.Combo->installEventFilter(this);

    const auto button = [&](const QString &caption, const QString &name, const QRect &bounds) {
        auto *control = new QPushButton(caption, this);
        control->setObjectName(name + n);
        control->setGeometry(bounds);
        return control;
    };
    row.Btn_Lancer = button(QStringLiteral("Lancer"), QStringLiteral("Btn_Lancer"), QRect(386, y, 50, 21));
    row.Btn_Arreter = button(QStringLiteral("Arreter"), QStringLiteral("Btn_Arreter"), QRect(436, y, 50, 21));
    row.Btn_SupriPrgm = button(QStringLiteral("X"), QStringLiteral("Btn_SupriPrgm"), QRect(0, y + 5, 15, 25));
    addRecurrenceControls(row, y);
    addPeriodControls(row, y + 25);
    row.Prochaine = new QLabel(this);
    row.Prochaine->setObjectName(QStringLiteral("Prochaine") + n);
    row.Prochaine->setGeometry(NextLeft, y, FormWidth - NextLeft - 4, 21);
    row.Prochaine->setToolTip(QStringLiteral("Prochain déclenchement (en italique : celui qu'elle aurait si elle était lancée)"));
    // Not launched, the time stays readable on the light end of the background.
    QPalette nextPalette = row.Prochaine->palette();
    nextPalette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x3c, 0x3a, 0x4a));
    row.Prochaine->setPalette(nextPalette);
    row.HeureSoleil = new QLabel(this);
    row.HeureSoleil->setObjectName(QStringLiteral("HeureSoleil") + n);
    row.HeureSoleil->setGeometry(row.Memo->geometry());
    row.HeureSoleil->setAutoFillBackground(true);
    row.HeureSoleil->setToolTip(SunTimeTip);

    // The engine holds the row's values; the controls show and edit them. The row's number
    // is looked up at each change, since deleting an earlier row moves it up.
    m_engine->addRow(now.date(), row.Memo->toPlainText());
    // The up-downs step from the time the field shows, typed or not.
    QPlainTextEdit *memo = row.Memo;
    connect(memo, &QPlainTextEdit::textChanged, this, [this, memo] {
        const int i = rowOf(memo);
        const std::optional<QTime> time = readTimeOfDay(memo->toPlainText());
        if (i == 0 || !time)
            return;
        const Row &r = this->row(i);
        r.UpDown_H->setPosition(time->hour());
        r.UpDown_min->setPosition(time->minute());
        r.UpDown_SecPrgm->setPosition(time->second());
    });
    QDateEdit *picker = row.DateTimePicker;
    connect(picker, &QDateEdit::dateChanged, this, [this, picker](const QDate &date) {
        if (const int i = rowOf(picker))
            m_engine->setDate(i, date);
    });
    connect(row.Combo, &QComboBox::activated, this,
            [this, combo = row.Combo] { fromControl(combo, &TForm_Progmt::Select_Code); });
    connect(row.Btn_Lancer, &QPushButton::clicked, this,
            [this, b = row.Btn_Lancer] { fromControl(b, &TForm_Progmt::Btn_Lancer1); });
    connect(row.Btn_Arreter, &QPushButton::clicked, this,
            [this, b = row.Btn_Arreter] { fromControl(b, &TForm_Progmt::Btn_Arreter1); });
    connect(row.Btn_SupriPrgm, &QPushButton::clicked, this,
            [this, b = row.Btn_SupriPrgm] { fromControl(b, &TForm_Progmt::Btn_SupprimerPrgm); });

    for (QWidget *control : controlsOf(row))
        control->show();
    // The time text runs under the hour up-down, the chooser under the start button; the stop
    // button stands clear of the start button's caption.
    row.UpDown_H->raise();
    row.Btn_Lancer->raise();
    row.Btn_Arreter->raise();

    m_rows.push_back(row);
    m_currentRow = rowCount();
    paintTime(m_currentRow, SystemColor::Window);
    paint(row.Combo, SystemColor::Window);
    showRecurrence(m_currentRow);
    showPeriod(m_currentRow);
    showNextSoon();
}

std::vector<QWidget *> TForm_Progmt::controlsOf(const Row &r)
{
    return {r.DateTimePicker, r.Memo, r.UpDown_H, r.UpDown_min, r.UpDown_SecPrgm, r.Combo, r.Btn_Lancer,
            r.Btn_Arreter, r.Btn_SupriPrgm, r.Repetition, r.Soleil, r.Decalage, r.Prochaine, r.HeureSoleil,
            r.Periode, r.Jusqua, r.FinHeure, r.FinSoleil, r.FinDecalage, r.FinBouton, r.Reaffirmer};
}

void TForm_Progmt::addPeriodControls(Row &row, int y)
{
    const QString n = QString::number(row.slot);
    const auto place = [&](QWidget *control, const QString &name, int x, int width) {
        control->setParent(this);
        control->setObjectName(name + n);
        control->setGeometry(x, y, width, 21);
    };
    row.Periode = new QCheckBox(QStringLiteral("Période"));
    place(row.Periode, QStringLiteral("Periode"), 28, 70);
    row.Periode->setToolTip(QStringLiteral("Une période met son relais dans son état au début et à la fin, "
                                           "et l'y remet au démarrage ou au retour du port"));
    row.Jusqua = new QLabel(QStringLiteral("jusqu'à"));
    place(row.Jusqua, QStringLiteral("Jusqua"), 100, 45);
    const QTime end = QDateTime::fromMSecsSinceEpoch(m_clock->nowMs(), Qt::LocalTime).time().addSecs(30 * 60);
    row.FinHeure = new QLineEdit(timeOfDayText(end));
    place(row.FinHeure, QStringLiteral("FinHeure"), 145, 75);
    row.FinSoleil = new QComboBox;
    place(row.FinSoleil, QStringLiteral("FinSoleil"), 225, 122);
    row.FinSoleil->addItems({QStringLiteral("Heure"), QStringLiteral("Lever du soleil"), QStringLiteral("Coucher du soleil")});
    row.FinDecalage = new QSpinBox;
    place(row.FinDecalage, QStringLiteral("FinDecalage"), 350, 68);
    row.FinDecalage->setRange(-Recurrence::MaxOffsetMinutes, Recurrence::MaxOffsetMinutes);
    row.FinDecalage->setSuffix(QStringLiteral(" min"));
    row.FinBouton = new QComboBox;
    place(row.FinBouton, QStringLiteral("FinBouton"), 422, 160);
    row.FinBouton->setPlaceholderText(QStringLiteral("Bouton de fin"));
    // Every button is listed: "Lancer" says why one that does not set a state cannot be used.
    row.FinBouton->setToolTip(QStringLiteral("Le bouton de la fin : un bouton On ou Off"));
    if (const PanelButtons *buttons = panelButtons())
        for (size_t k = 1; k < buttons->size(); ++k)
            row.FinBouton->addItem((*buttons)[k].description);
    row.FinBouton->setCurrentIndex(-1);
    row.Reaffirmer = new QSpinBox;
    place(row.Reaffirmer, QStringLiteral("Reaffirmer"), 586, 200);
    row.Reaffirmer->setRange(0, MaxReassertMinutes);
    row.Reaffirmer->setPrefix(QStringLiteral("Réaffirmer toutes les "));
    row.Reaffirmer->setSuffix(QStringLiteral(" min"));
    row.Reaffirmer->setSpecialValueText(QStringLiteral("Réaffirmer : jamais"));

    const auto select = [this](QObject *control) { return [this, control] { Select_Periode(control); }; };
    connect(row.Periode, &QCheckBox::clicked, this, select(row.Periode));
    connect(row.FinHeure, &QLineEdit::editingFinished, this, select(row.FinHeure));
    connect(row.FinSoleil, &QComboBox::activated, this, select(row.FinSoleil));
    connect(row.FinDecalage, &QSpinBox::valueChanged, this, select(row.FinDecalage));
    connect(row.FinBouton, &QComboBox::activated, this, select(row.FinBouton));
    connect(row.Reaffirmer, &QSpinBox::valueChanged, this, select(row.Reaffirmer));
}

void TForm_Progmt::showPeriod(int i)
{
    if (!validRow(i))
        return;
    const Row &r = row(i);
    const ScheduleRow &s = m_engine->row(i);
    const QSignalBlocker blockers[] = {QSignalBlocker(r.FinDecalage), QSignalBlocker(r.Reaffirmer)};
    r.Periode->setChecked(s.end.has_value());
    if (s.end) {
        r.FinHeure->setText(s.end->timeText);
        r.FinSoleil->setCurrentIndex(int(s.end->sun));
        r.FinDecalage->setValue(s.end->offsetMinutes);
        r.FinBouton->setCurrentIndex(s.end->button - 1);
    }
    r.Reaffirmer->setValue(s.reassertMinutes);
    for (QWidget *control : {static_cast<QWidget *>(r.Jusqua), static_cast<QWidget *>(r.FinHeure),
                             static_cast<QWidget *>(r.FinSoleil), static_cast<QWidget *>(r.FinDecalage),
                             static_cast<QWidget *>(r.FinBouton), static_cast<QWidget *>(r.Reaffirmer)})
        control->setVisible(s.end.has_value());
    const bool sunEnd = r.FinSoleil->currentIndex() > 0;
    r.FinHeure->setEnabled(!sunEnd);
    r.FinDecalage->setEnabled(sunEnd);
}

void TForm_Progmt::Select_Periode(QObject *control)
{
    const int i = rowOf(control);
    if (i == 0)
        return;
    m_currentRow = i;
    const Row &r = row(i);
    std::optional<PeriodEnd> end;
    if (r.Periode->isChecked())
        end = PeriodEnd{r.FinHeure->text().trimmed(), Recurrence::Sun(r.FinSoleil->currentIndex()),
                        r.FinDecalage->value(), r.FinBouton->currentIndex() + 1};
    if (end && end->sun != Recurrence::Sun::None)
        loadPlace();
    m_engine->setEnd(i, end);
    m_engine->setReassert(i, r.Reaffirmer->value());
    stopRefusedPeriod(i);
    showPeriod(i);
}

QString TForm_Progmt::refusedPeriod(int i) const
{
    const PanelButtons none;
    const PanelButtons *buttons = panelButtons();
    return periodRefusal(m_engine->row(i), buttons ? *buttons : none);
}

void TForm_Progmt::stopRefusedPeriod(int i)
{
    const QString refusal = refusedPeriod(i);
    if (!m_engine->row(i).armed || refusal.isEmpty())
        return;
    m_engine->disarm(i);
    paintTime(i, MissedColor);
    setTimeTip(i, QStringLiteral("Programmation arrêtée : %1.").arg(refusal));
}

void TForm_Progmt::addRecurrenceControls(Row &row, int y)
{
    const QString n = QString::number(row.slot);
    row.Repetition = new QToolButton(this);
    row.Repetition->setObjectName(QStringLiteral("Repetition") + n);
    row.Repetition->setGeometry(490, y, 124, 21);
    row.Repetition->setPopupMode(QToolButton::InstantPopup);
    row.Repetition->setToolButtonStyle(Qt::ToolButtonTextOnly);
    row.Repetition->setToolTip(QStringLiteral("Répétition : une fois, chaque jour ou les jours choisis"));
    auto *menu = new QMenu(row.Repetition);
    menu->setFont(uiFont());
    const auto choice = [&](const QString &text, int value) {
        QAction *action = menu->addAction(text);
        action->setCheckable(true);
        action->setData(value);
        connect(action, &QAction::triggered, this,
                [this, control = row.Repetition, value] { Select_Repetition(control, value); });
    };
    choice(QStringLiteral("Une fois"), Once);
    choice(QStringLiteral("Chaque jour"), EveryDay);
    menu->addSeparator();
    for (int d = 1; d <= 7; ++d)
        choice(weekdayName(d), d);
    row.Repetition->setMenu(menu);
    menu->installEventFilter(this);

    row.Soleil = new QComboBox(this);
    row.Soleil->setObjectName(QStringLiteral("Soleil") + n);
    row.Soleil->setGeometry(618, y, 122, 21);
    row.Soleil->addItems({QStringLiteral("Heure"), QStringLiteral("Lever du soleil"), QStringLiteral("Coucher du soleil")});
    connect(row.Soleil, &QComboBox::activated, this, [this, control = row.Soleil] { Select_Soleil(control); });

    row.Decalage = new QSpinBox(this);
    row.Decalage->setObjectName(QStringLiteral("Decalage") + n);
    row.Decalage->setGeometry(744, y, 68, 21);
    row.Decalage->setRange(-Recurrence::MaxOffsetMinutes, Recurrence::MaxOffsetMinutes);
    row.Decalage->setSuffix(QStringLiteral(" min"));
    row.Decalage->setToolTip(QStringLiteral("Minutes avant (-) ou après le lever ou le coucher du soleil"));
    connect(row.Decalage, &QSpinBox::valueChanged, this, [this, control = row.Decalage] { Select_Soleil(control); });
}

void TForm_Progmt::showRecurrence(int i)
{
    if (!validRow(i))
        return;
    const Row &r = row(i);
    const Recurrence &rec = m_engine->row(i).recurrence;
    r.Repetition->setText(repetitionLabel(rec.weekdays));
    for (QAction *action : r.Repetition->menu()->actions()) {
        const int value = action->data().toInt();
        if (action->isSeparator())
            continue;
        action->setChecked(value == Once        ? !rec.repeats()
                           : value == EveryDay ? rec.weekdays == Recurrence::EveryDay
                                               : rec.repeats() && rec.firesOn(QDate(2024, 1, value)));
    }
    const bool sun = rec.sun != Recurrence::Sun::None;
    r.Soleil->setCurrentIndex(int(rec.sun));
    const QSignalBlocker blocker(r.Decalage);
    r.Decalage->setValue(rec.offsetMinutes);
    r.Decalage->setEnabled(sun);
    // A sun row keeps its typed time, unused: the sun's time is shown in its place.
    for (QWidget *control : {static_cast<QWidget *>(r.Memo), static_cast<QWidget *>(r.UpDown_H),
                             static_cast<QWidget *>(r.UpDown_min), static_cast<QWidget *>(r.UpDown_SecPrgm)}) {
        control->setEnabled(!sun);
        control->setVisible(!sun);
    }
    r.HeureSoleil->setVisible(sun);
    showNextSoon();
}

void TForm_Progmt::Select_Repetition(QObject *control, int choice)
{
    const int i = rowOf(control);
    if (i == 0)
        return;
    m_currentRow = i;
    Recurrence rec = m_engine->row(i).recurrence;
    if (choice == Once)
        rec.weekdays = 0;
    else if (choice == EveryDay)
        rec.weekdays = Recurrence::EveryDay;
    else
        rec.weekdays ^= quint8(1u << (choice - 1));
    m_engine->setRecurrence(i, rec);
    showRecurrence(i);
}

void TForm_Progmt::Select_Soleil(QObject *control)
{
    const int i = rowOf(control);
    if (i == 0)
        return;
    m_currentRow = i;
    Recurrence rec = m_engine->row(i).recurrence;
    rec.sun = Recurrence::Sun(row(i).Soleil->currentIndex());
    rec.offsetMinutes = row(i).Decalage->value();
    if (rec.sun != Recurrence::Sun::None)
        loadPlace();
    m_engine->setRecurrence(i, rec);
    showRecurrence(i);
}

int TForm_Progmt::rowOf(const QObject *control) const
{
    for (int i = 1; i <= rowCount(); ++i) {
        const std::vector<QWidget *> controls = controlsOf(row(i));
        if (std::find(controls.begin(), controls.end(), control) != controls.end())
            return i;
    }
    return 0;
}

bool TForm_Progmt::eventFilter(QObject *watched, QEvent *event)
{
    if (auto *menu = qobject_cast<QMenu *>(watched)) {
        // A weekday is ticked without closing the menu, so that several are chosen at once.
        QAction *action = nullptr;
        if (event->type() == QEvent::MouseButtonRelease)
            action = menu->actionAt(static_cast<QMouseEvent *>(event)->position().toPoint());
        else if (const auto *key = event->type() == QEvent::KeyPress ? static_cast<QKeyEvent *>(event) : nullptr;
                 key && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || key->key() == Qt::Key_Space))
            action = menu->activeAction();
        const int value = action ? action->data().toInt() : Once;
        if (action && action->isEnabled() && value >= 1 && value <= 7) {
            action->trigger();
            return true;
        }
    } else if (qobject_cast<QPlainTextEdit *>(watched)) {
        // Enter ends the editing of a time, as leaving the field does; it adds no line.
        const auto *key = event->type() == QEvent::KeyPress ? static_cast<QKeyEvent *>(event) : nullptr;
        const bool enter = key && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter);
        if (enter || event->type() == QEvent::FocusOut)
            applyTypedTime(rowOf(watched));
        if (enter)
            return true;
    } else if (event->type() == QEvent::FocusIn && qobject_cast<QComboBox *>(watched))
        fromControl(watched, &TForm_Progmt::OnEnterCombo);
    else if (event->type() == QEvent::MouseButtonPress && qobject_cast<QDateEdit *>(watched))
        fromControl(watched, &TForm_Progmt::OnClickCalendrier);
    return QWidget::eventFilter(watched, event);
}

void TForm_Progmt::findCurrentRow(Control control)
{
    for (int i = 1; i <= rowCount(); ++i) {
        QWidget *c = control(row(i));
        if (c && (c->hasFocus() || c == m_sender))
            m_currentRow = i;
    }
}

void TForm_Progmt::paintChoosers()
{
    for (const Row &r : m_rows)
        paint(r.Combo, SystemColor::Window);
}

void TForm_Progmt::paintTime(int i, int color)
{
    if (!validRow(i))
        return;
    paint(row(i).Memo, color);
    paint(row(i).HeureSoleil, color);
    if (color != MissedColor)
        setTimeTip(i, QString());
}

void TForm_Progmt::setTimeTip(int i, const QString &tip)
{
    row(i).Memo->setToolTip(tip);
    row(i).HeureSoleil->setToolTip(tip.isEmpty() ? SunTimeTip : tip);
}

void TForm_Progmt::OnEnterCombo()
{
    paintChoosers();
    findCurrentRow([](const Row &r) { return r.Combo; });
    if (validRow(m_currentRow))
        paint(row(m_currentRow).Combo, HighlightColor);
}

void TForm_Progmt::OnClickCalendrier()
{
    paintChoosers();
    findCurrentRow([](const Row &r) { return r.DateTimePicker; });
    if (validRow(m_currentRow))
        paint(row(m_currentRow).Combo, HighlightColor);
}

void TForm_Progmt::Select_Code()
{
    findCurrentRow([](const Row &r) { return r.Combo; });
    if (!validRow(m_currentRow))
        return;
    const int j = row(m_currentRow).Combo->currentIndex();
    // "Off" (item 0) keeps the button chosen before.
    if (j >= 1) {
        m_engine->setButton(m_currentRow, j);
        stopRefusedPeriod(m_currentRow);
    }
}

void TForm_Progmt::UpDown_1()
{
    // The arrows of a row edit that row, not the one touched last.
    findCurrentRow([this](const Row &r) -> QWidget * {
        for (QWidget *upDown : {static_cast<QWidget *>(r.UpDown_H), static_cast<QWidget *>(r.UpDown_min),
                                static_cast<QWidget *>(r.UpDown_SecPrgm)})
            if (upDown == m_sender)
                return upDown;
        return nullptr;
    });
    if (!validRow(m_currentRow))
        return;
    const Row &r = row(m_currentRow);
    const QTime time(r.UpDown_H->Position(), r.UpDown_min->Position(), r.UpDown_SecPrgm->Position());
    if (!time.isValid())
        return;
    r.Memo->setPlainText(timeOfDayText(time));
    applyTypedTime(m_currentRow);
}

void TForm_Progmt::applyTypedTime(int i)
{
    if (!validRow(i))
        return;
    m_engine->setTimeText(i, row(i).Memo->toPlainText());
    // A period's typed end too, also while its field still has the focus.
    std::optional<PeriodEnd> end = m_engine->row(i).end;
    if (end && end->timeText != row(i).FinHeure->text().trimmed()) {
        end->timeText = row(i).FinHeure->text().trimmed();
        m_engine->setEnd(i, end);
    }
}

void TForm_Progmt::applyTypedTimes()
{
    for (int i = 1; i <= rowCount(); ++i)
        applyTypedTime(i);
}

void TForm_Progmt::Btn_Lancer1()
{
    paintChoosers();
    findCurrentRow([](const Row &r) { return r.Btn_Lancer; });
    if (!validRow(m_currentRow))
        return;
    const int i = m_currentRow;
    paint(row(i).Combo, HighlightColor);
    applyTypedTime(i);
    // The place may have been set in the settings meanwhile.
    loadPlace();
    if (QString refusal = refusedPeriod(i); !refusal.isEmpty()) {
        refusal[0] = refusal[0].toUpper();
        showMessage(refusal + QStringLiteral(". La période n'est pas lancée."));
        return;
    }
    const ScheduleEngine::Arming result = m_engine->arm(i);
    if (result == ScheduleEngine::Arming::Armed)
        paintTime(i, HighlightColor);
    else if (result == ScheduleEngine::Arming::NoSun)
        // Polar night or day: nothing to fire that day, which is no fault of the row.
        addToLog(m_clock->nowMs(), rowName(i) + QStringLiteral(" : non lancée, ") + m_engine->reason(result, i));
    else
        showMessage(m_engine->refusal(result, i));
}

void TForm_Progmt::Btn_Arreter1()
{
    paintChoosers();
    findCurrentRow([](const Row &r) { return r.Btn_Arreter; });
    if (!validRow(m_currentRow))
        return;
    paint(row(m_currentRow).Combo, HighlightColor);
    m_engine->disarm(m_currentRow);
    paintTime(m_currentRow, SystemColor::Window);
}

void TForm_Progmt::Btn_SupprimerPrgm()
{
    findCurrentRow([](const Row &r) { return r.Btn_SupriPrgm; });
    if (m_rows.empty() || !validRow(m_currentRow))
        return;
    const int i = m_currentRow;
    const Row &r = row(i);
    // The delete button is still in its own click: the controls go once it has returned.
    for (QWidget *control : controlsOf(r)) {
        control->hide();
        control->disconnect(this);
        control->removeEventFilter(this);
        control->deleteLater();
    }
    m_rows.erase(m_rows.begin() + (i - 1));
    m_engine->removeRow(i);
    m_currentRow = rowCount();
}

ScheduleMemory &TForm_Progmt::memory()
{
    if (!m_memory)
        m_memory = std::make_unique<ScheduleMemory>(QDir::currentPath());
    return *m_memory;
}

QString TForm_Progmt::memoryKey(int i) const
{
    return ScheduleMemory::keysOf(savedRows(*m_engine, panelButtons())).value(i - 1);
}

void TForm_Progmt::remember(int i, qint64 dueMs)
{
    // While the service runs the rows, what they did is its to remember.
    if (serviceRuns && serviceRuns())
        return;
    if (!memory().remember(memoryKey(i), dueMs))
        addToLog(m_clock->nowMs(), QStringLiteral("Impossible d'enregistrer %1").arg(memory().error()));
}

void TForm_Progmt::fired(int i, int button, qint64 dueMs)
{
    m_currentRow = i;
    // The service fires the rows written for it; the window's own would fire them twice.
    if (serviceRuns && serviceRuns()) {
        addToLog(m_clock->nowMs(), rowName(i) + QStringLiteral(" : laissée au service"));
        if (validRow(i) && !m_engine->row(i).armed)
            paintTime(i, SystemColor::Window);
        return;
    }
    remember(i, dueMs);
    const PanelButtons *buttons = panelButtons();
    const bool onPanel = button >= 1 && buttons && size_t(button) < buttons->size();
    if (!onPanel || !waitForPort(i, button, dueMs)) {
        addToLog(m_clock->nowMs(), rowName(i, button) + QStringLiteral(" : déclenchée"));
        // The firing found the device gone: it is sent again when the device is back.
        if (sendButton(button))
            waitForPort(i, button, dueMs);
    }
    // The row may be gone if the error's box let the user delete it.
    if (validRow(i) && !m_engine->row(i).armed)
        paintTime(i, SystemColor::Window);
}

bool TForm_Progmt::sendButton(int button)
{
    const PanelButtons *buttons = panelButtons();
    if (button < 1 || !buttons || size_t(button) >= buttons->size())
        return false;
    runReportingErrors([button] {
        if (TForm_ActBtn *panel = Forms::instance().Form_ActBtn)
            panel->fireButton(button);
    }, this);
    return true;
}

void TForm_Progmt::asserted(int i, int button, bool inside)
{
    // The service puts the relays of the rows it runs in their state itself.
    if (serviceRuns && serviceRuns())
        return;
    // A lost port has the periods asserted again when it is back.
    TForm_ActBtn *panel = Forms::instance().Form_ActBtn;
    if (!panel || panel->ComPort1->Lost())
        return;
    addToLog(m_clock->nowMs(), rowName(i, button) + (inside ? QStringLiteral(" : remise dans sa période")
                                                     : QStringLiteral(" : remise hors de sa période")));
    sendButton(button);
}

bool TForm_Progmt::waitForPort(int i, int button, qint64 dueMs)
{
    TForm_ActBtn *panel = Forms::instance().Form_ActBtn;
    if (!panel || !panel->ComPort1->Lost())
        return false;
    m_portWaiting.add({i, button, dueMs, QString()});
    addToLog(m_clock->nowMs(), rowName(i, button) + QStringLiteral(" : en attente du port %1, perdu").arg(panel->ComPort1->Port()));
    connect(panel->ComPort1, &TCustomComPort::found, this, &TForm_Progmt::portFound, Qt::UniqueConnection);
    if (!m_portWaitCheck) {
        m_portWaitCheck = new QTimer(this);
        m_portWaitCheck->setInterval(1000);
        connect(m_portWaitCheck, &QTimer::timeout, this, [this] {
            for (const PortWaitingFirings::Firing &f : m_portWaiting.takeExpired(m_clock->nowMs()))
                logPortMissed(f);
            if (m_portWaiting.isEmpty())
                m_portWaitCheck->stop();
        });
    }
    m_portWaitCheck->start();
    return true;
}

void TForm_Progmt::portFound()
{
    if (m_portWaitCheck)
        m_portWaitCheck->stop();
    QList<PortWaitingFirings::Firing> late;
    const QList<PortWaitingFirings::Firing> ready = m_portWaiting.takeOnReturn(m_clock->nowMs(), &late);
    for (const PortWaitingFirings::Firing &f : late)
        logPortMissed(f);
    for (const PortWaitingFirings::Firing &f : ready) {
        // A row deleted or given other buttons meanwhile is no longer this firing's.
        const ScheduleRow *r = validRow(f.row) ? &m_engine->row(f.row) : nullptr;
        if (!r || (r->button != f.button && !(r->end && r->end->button == f.button)))
            continue;
        addToLog(m_clock->nowMs(), rowName(f.row, f.button) + QStringLiteral(" : déclenchée au retour du port"));
        sendButton(f.button);
    }
}

void TForm_Progmt::logPortMissed(const PortWaitingFirings::Firing &f)
{
    if (!validRow(f.row))
        return;
    paintTime(f.row, MissedColor);
    addToLog(m_clock->nowMs(), rowName(f.row) + QStringLiteral(" : manquée, le port n'est pas revenu dans la minute"));
}

void TForm_Progmt::missed(int i, qint64 checkedAtMs, ScheduleEngine::Miss why, qint64 dueMs)
{
    remember(i, dueMs);
    const QDateTime checked = QDateTime::fromMSecsSinceEpoch(checkedAtMs, Qt::LocalTime);
    const QLocale locale = QLocale::system();
    const ScheduleRow &r = m_engine->row(i);
    // A repeating row has already moved on to its next occurrence.
    const QString planned = r.recurrence.repeats()
                                ? m_engine->timeOf(i)
                                : QStringLiteral("le %1 %2").arg(locale.toString(r.date, QLocale::ShortFormat), m_engine->timeOf(i));
    paintTime(i, MissedColor);
    const QString cause = why == ScheduleEngine::Miss::Late
                              ? QStringLiteral("son heure était passée de plus d'une minute (ordinateur en veille ou horloge avancée)")
                              : QStringLiteral("son heure (%1) était déjà passée (heure ou fuseau horaire changés)").arg(planned);
    setTimeTip(i, QStringLiteral("Programmation manquée : le %1 à %2, %3. Rien n'a été envoyé.")
                                .arg(locale.toString(checked.date(), QLocale::ShortFormat),
                                     checked.time().toString(QStringLiteral("hh:mm:ss")), cause));
    addToLog(checkedAtMs, rowName(i) + QStringLiteral(" : manquée (prévue %1)").arg(planned));
}

void TForm_Progmt::stopped(int i, ScheduleEngine::Arming why)
{
    paintTime(i, MissedColor);
    setTimeTip(i, QStringLiteral("Programmation arrêtée : %1.").arg(m_engine->reason(why, i)));
}

QString TForm_Progmt::rowName(int i, int sent) const
{
    const int button = sent >= 0 ? sent : m_engine->row(i).button;
    const PanelButtons *buttons = panelButtons();
    const QString name = button >= 1 && buttons && size_t(button) < buttons->size()
                             ? QStringLiteral("« %1 »").arg((*buttons)[size_t(button)].description)
                             : QStringLiteral("sans bouton");
    return QStringLiteral("ligne %1 %2").arg(i).arg(name);
}

void TForm_Progmt::addToLog(qint64 atMs, const QString &what)
{
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(atMs, Qt::LocalTime);
    Log->appendPlainText(QStringLiteral("%1 %2  %3").arg(QLocale::system().toString(at.date(), QLocale::ShortFormat),
                                                          at.time().toString(QStringLiteral("hh:mm:ss")), what));
}

void TForm_Progmt::Btn_ajustHeureClick()
{
    const std::optional<ClockSettingsTool> tool =
        clockSettingsTool(qEnvironmentVariable("XDG_CURRENT_DESKTOP"), programInstalled);
    if (!tool || !startProgram(tool->program, tool->arguments))
        showMessage(clockSettingsHelp());
}

void TForm_Progmt::EnregistrerClick()
{
    applyTypedTimes();
    writeRows();
    if (m_viewOfService)
        m_writtenForService = rowsBytes();
}

bool TForm_Progmt::writeRows()
{
    // The place kept in the file stays there.
    const ProfileFile previous = ProfileFile::load(ScheduleFiles::path());
    const ProfileFile::SaveResult result =
        writeSchedule(savedRows(*m_engine, panelButtons()), previous).save(ScheduleFiles::path());
    if (!result.ok) {
        showMessage(QStringLiteral("Impossible d'enregistrer %1 : %2").arg(ScheduleFiles::path(), result.error));
        return false;
    }
    m_savedContent = rowsContent();
    return true;
}

QByteArray TForm_Progmt::rowsContent() const
{
    std::vector<SavedScheduleRow> rows = savedRows(*m_engine, nullptr);
    for (SavedScheduleRow &r : rows)
        r.armed = false;
    return writeSchedule(rows).toBytes();
}

bool TForm_Progmt::rowsChanged()
{
    applyTypedTimes();
    return rowsContent() != m_savedContent;
}

QByteArray TForm_Progmt::rowsBytes() const
{
    return writeSchedule(savedRows(*m_engine, panelButtons())).toBytes();
}

void TForm_Progmt::followService()
{
    const bool runs = serviceRuns && serviceRuns();
    if (runs != m_viewOfService) {
        m_viewOfService = runs;
        ServiceLine->setVisible(runs);
        // An empty window shows the rows the service runs; rows already here stay as they are
        // until they are changed.
        if (runs && rowCount() == 0 && QFileInfo::exists(ScheduleFiles::path()))
            loadRows(!isVisible());
        m_writtenForService = runs ? rowsBytes() : QByteArray();
        return;
    }
    if (!runs)
        return;
    // A failed write is said once, not at every look.
    const QByteArray bytes = rowsBytes();
    if (bytes != m_writtenForService) {
        m_writtenForService = bytes;
        writeRows();
    }
}

void TForm_Progmt::removeAllRows()
{
    while (rowCount() > 0) {
        m_currentRow = rowCount();
        fromControl(row(m_currentRow).Btn_SupriPrgm, &TForm_Progmt::Btn_SupprimerPrgm);
    }
}

void TForm_Progmt::OuvrirClick()
{
    if (!rowsChanged()) {
        loadRows(false);
        return;
    }
    // The question is the main window's; without it there is no one to ask.
    if (Forms::instance().Form_Base.isNull())
        return;
    m_waitBlock = std::make_unique<InputBlock>(this);
    requestPrompt(QStringLiteral("Programateur"), QStringLiteral("Oui"), QStringLiteral("Non"), QString(),
                  QStringLiteral("Les lignes ont changé. Les abandonner ?"), PromptDropRows, PromptKeepRows, 0, true,
                  true, false);
}

void TForm_Progmt::promptAnswered(int code)
{
    m_waitBlock.reset();
    activateWindow();
    if (code == PromptDropRows)
        loadRows(false);
}

void TForm_Progmt::loadAtStart()
{
    if (rowCount() == 0 && QFileInfo::exists(ScheduleFiles::path()))
        loadRows(true);
}

bool TForm_Progmt::loadRows(bool quiet)
{
    const auto say = [this, quiet](const QString &text) {
        if (quiet)
            addToLog(m_clock->nowMs(), text);
        else
            showMessage(text);
    };
    bool exists = false;
    const ProfileFile file = ProfileFile::load(ScheduleFiles::path(), &exists);
    if (file.unreadable()) {
        say(QStringLiteral("Impossible de lire %1 : %2").arg(ScheduleFiles::path(), file.readError()));
        return false;
    }
    if (!exists) {
        say(QStringLiteral("Aucune programmation enregistrée : %1 est introuvable.").arg(ScheduleFiles::path()));
        return false;
    }
    // A file read in part would lose rows at the next "Enregistrer": the rows shown stay.
    const ReadSchedule read = readSchedule(file);
    if (!read.refused.isEmpty()) {
        say(QStringLiteral("Probleme avec le fichier ini\n%1 : %2. Rien n'a été ouvert.").arg(ScheduleFiles::path(), read.refused));
        return false;
    }
    removeAllRows();
    // The rows reopened take the places of a fresh window's, not places below those they
    // replace.
    m_slotCounter = 0;
    setFixedSize(FormWidth, 423 + LogHeight);
    Btn_ajustHeure->setGeometry(216, 372, 81, 33);
    QStringList problems = read.problems;
    if (const QString placeError = loadPlace(); !placeError.isEmpty())
        problems << placeError;
    std::vector<bool> savedArmed;
    const PanelButtons empty;
    const PanelButtons *buttons = panelButtons();
    for (const SavedScheduleRow &saved : read.rows) {
        Btn_AddPrgmClick();
        const int i = rowCount();
        const Row &r = row(i);
        if (saved.date.isValid())
            r.DateTimePicker->setDate(saved.date);
        r.Memo->setPlainText(saved.time);
        applyTypedTime(i);
        m_engine->setRecurrence(i, saved.recurrence);
        showRecurrence(i);
        savedArmed.push_back(saved.armed);
        const int button = restoredButton(saved, buttons ? *buttons : empty);
        m_engine->setButton(i, button);
        if (saved.end) {
            PeriodEnd end = *saved.end;
            end.button = restoredEndButton(saved, buttons ? *buttons : empty);
            m_engine->setEnd(i, end);
            if (end.button == 0 && saved.end->button != 0)
                r.FinBouton->setToolTip(QStringLiteral("Le bouton %1 « %2 » n'est plus sur le panneau : choisissez un autre bouton.")
                                            .arg(saved.end->button)
                                            .arg(saved.endDescription));
        }
        m_engine->setReassert(i, saved.reassertMinutes);
        showPeriod(i);
        if (button > 0) {
            r.Combo->setCurrentIndex(button);
        } else if (saved.button != 0) {
            r.Combo->setCurrentIndex(0);
            r.Combo->setToolTip(QStringLiteral("Le bouton %1 « %2 » n'est plus sur le panneau : choisissez un autre bouton.")
                                    .arg(saved.button)
                                    .arg(saved.description));
        }
    }
    if (!problems.isEmpty())
        say(QStringLiteral("Probleme avec le fichier ini\n%1 : ces valeurs sont illisibles, leurs lignes ne sont pas lancées :\n%2")
                .arg(ScheduleFiles::path(), problems.join(QLatin1Char('\n'))));
    m_savedContent = rowsContent();
    restoreArming(savedArmed);
    // The periods' relays may have changed while nothing ran them.
    m_engine->assertPeriods();
    showNext();
    return true;
}

// Rows saved armed are armed again for their next occurrence not yet fired or missed; one
// that fell while nothing ran is caught up (fired within the minute's grace, else missed),
// as the service does. The log says why the others are not.
void TForm_Progmt::restoreArming(const std::vector<bool> &savedArmed)
{
    memory().reload();
    const QStringList keys = ScheduleMemory::keysOf(savedRows(*m_engine, panelButtons()));
    QHash<QString, qint64> firstSeen;
    for (int i = 1; i <= rowCount() && size_t(i) <= savedArmed.size(); ++i) {
        if (!savedArmed[size_t(i - 1)])
            continue;
        if (const QString refusal = refusedPeriod(i); !refusal.isEmpty()) {
            addToLog(m_clock->nowMs(), rowName(i) + QStringLiteral(" : non relancée, ") + refusal + QStringLiteral(", rien n'est envoyé"));
            continue;
        }
        std::optional<qint64> accounted = memory().accountedUntil(keys[i - 1]);
        // A repeating row's past is not made up before it was first seen armed.
        if (!accounted && m_engine->row(i).recurrence.repeats()) {
            accounted = m_clock->nowMs();
            firstSeen.insert(keys[i - 1], *accounted);
        }
        const ScheduleEngine::Arming result = m_engine->resume(i, accounted);
        if (result == ScheduleEngine::Arming::Armed)
            paintTime(i, HighlightColor);
        else if (result != ScheduleEngine::Arming::Done)
            addToLog(m_clock->nowMs(), rowName(i) + QStringLiteral(" : non relancée, ") + m_engine->reason(result, i));
    }
    if (!(serviceRuns && serviceRuns()))
        memory().remember(firstSeen);
}

void TForm_Progmt::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    TimerATimer();
    TimerA->start();
    // The owner is the main window.
    if (parentWidget())
        parentWidget()->hide();
}

void TForm_Progmt::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (Log)
        Log->setGeometry(8, height() - LogHeight, width() - 16, LogHeight - 8);
    if (ServiceLine)
        ServiceLine->setGeometry(312, height() - LogHeight - 38, width() - 320, 34);
}

// The window is only hidden: its rows stay, and the armed ones fire, until the program ends.
void TForm_Progmt::closeEvent(QCloseEvent *event)
{
    applyTypedTimes();
    followService();
    ActivBtnP(1, 1, 1, 1, 1, 1, 1);
    TimerA->stop();
    if (parentWidget())
        parentWidget()->show();
    event->accept();
}

} // namespace zelvar
