#include "editors/Form_PhotoZel.h"

#include "common/AtomicFile.h"
#include "editors/ColorGrid.h"
#include "forms/ErrorReport.h"
#include "panel/Form_ActBtn.h"
#include "panel/PanelConfig.h"
#include "widgets/Fonts.h"
#include "widgets/InputBlock.h"
#include "widgets/SystemColors.h"

#include <QBuffer>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QImageWriter>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStatusBar>
#include <QWindow>

#include <utility>

namespace zelvar {

namespace {

constexpr int ClientWidth = 883;
constexpr int ClientHeight = 488;
constexpr int StatusHeight = 19;
constexpr int PictureTop = 19; // the picture's place inside Panel1

QPushButton *makeButton(QWidget *parent, const QString &text, int left, int top)
{
    auto *button = new QPushButton(text, parent);
    button->setGeometry(left, top, 75, 25);
    return button;
}

QLineEdit *makeEdit(QWidget *parent, const QString &text, int left, int top)
{
    auto *edit = new QLineEdit(text, parent);
    edit->setGeometry(left, top, 121, 21);
    return edit;
}

} // namespace

// The drawing surface: the picture, and over it the outline of a shape being dragged.
class TForm_PhotoZel::PictureView : public QWidget
{
public:
    explicit PictureView(TForm_PhotoZel *form, QWidget *parent) : QWidget(parent), form_(form)
    {
        setMouseTracking(true);
        setCursor(Qt::CrossCursor);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        const PhotoZelPicture &picture = form_->picture();
        painter.drawImage(0, 0, picture.image());
        if (const std::optional<QRect> shape = picture.pendingShape()) {
            painter.setPen(picture.penColor());
            painter.setBrush(Qt::NoBrush);
            const QRect outline = shape->adjusted(0, 0, -1, -1);
            if (picture.tool() == PhotoTool::Ellipse)
                painter.drawEllipse(outline);
            else
                painter.drawRect(outline);
        }
    }
    void mousePressEvent(QMouseEvent *event) override
    {
        if (event->button() == Qt::LeftButton)
            form_->Image_1MouseDown(event->position().toPoint());
    }
    void mouseMoveEvent(QMouseEvent *event) override
    {
        form_->Image_1MouseMove(event->position().toPoint(), event->buttons() & Qt::LeftButton);
    }
    void mouseReleaseEvent(QMouseEvent *event) override
    {
        if (event->button() == Qt::LeftButton)
            form_->Image_1MouseUp(event->position().toPoint());
    }

private:
    TForm_PhotoZel *form_;
};

// The window's own surface, button face. The green gradient drawn on request is not kept:
// the next repaint shows the button face again, as a drawing on the window would.
class TForm_PhotoZel::Background : public QWidget
{
public:
    explicit Background(TForm_PhotoZel *form) : form_(form)
    {
        QPalette face = palette();
        face.setColor(QPalette::Window, resolveColor(SystemColor::BtnFace));
        setPalette(face);
        setAutoFillBackground(true);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        if (!std::exchange(form_->gradientPending_, false))
            return;
        QPainter painter(this);
        const int rows = height();
        for (int r = 0; r <= rows; ++r) {
            painter.setPen(QColor(0, r * 255 / std::max(rows, 1), 0));
            painter.drawLine(0, r, width(), r);
        }
    }

private:
    TForm_PhotoZel *form_;
};

TForm_PhotoZel::TForm_PhotoZel(QWidget *editor) : editor_(editor)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("PhotoZel"));
    setFont(uiFont());
    createMenus();
    createControls();
    picture_.setOverlayFont(uiFont(13));
    setFixedSize(ClientWidth, ClientHeight + menuBar()->sizeHint().height());
    move(293, 418);

    // Owned by the editor, yet a window of its own, so that holding the editor leaves it
    // usable.
    if (editor_)
        connect(editor_, &QObject::destroyed, this, &QObject::deleteLater);

    chooseOpenPicture = [this] { return defaultOpenChooser(); };
    chooseSavePicture = [this] { return defaultSaveChooser(); };
}

TForm_PhotoZel *TForm_PhotoZel::open(QWidget *editor)
{
    auto *form = new TForm_PhotoZel(editor);
    if (editor) {
        form->winId();
        if (QWindow *owner = editor->window()->windowHandle())
            form->windowHandle()->setTransientParent(owner);
    }
    form->show();
    new DialogHold(form, {editor});
    return form;
}

void TForm_PhotoZel::createMenus()
{
    QMenuBar *MainMenu1 = menuBar();
    QMenu *fichier = MainMenu1->addMenu(QStringLiteral("Fichier"));
    Btn_Ouvrir1 = fichier->addAction(QStringLiteral("Ouvrir"));
    btn_Enregistrersous = fichier->addAction(QStringLiteral("Enregistrer sous"));
    fichier->addAction(QStringLiteral("Enregistrer"))->setEnabled(false);
    fichier->addAction(QStringLiteral("Quitter"));
    QMenu *voir = MainMenu1->addMenu(QStringLiteral("Voir"));
    voir->addAction(QStringLiteral("Programateur express"));
    voir->addAction(QStringLiteral("Sequenceur"));
    QMenu *reglages = MainMenu1->addMenu(QStringLiteral("Reglages"));
    reglages->addAction(QStringLiteral("Reglages par default"));
    reglages->addAction(QStringLiteral("Configuration des boutons"));
    QMenu *help = MainMenu1->addMenu(QStringLiteral("?"));
    help->addAction(QStringLiteral("A propos de"));
    help->addAction(QStringLiteral("Contactez-moi"));

    connect(Btn_Ouvrir1, &QAction::triggered, this, &TForm_PhotoZel::Btn_Ouvrir1Click);
    connect(btn_Enregistrersous, &QAction::triggered, this, &TForm_PhotoZel::btn_EnregistrersousClick);
}

void TForm_PhotoZel::createControls()
{
    auto *client = new Background(this);
    setCentralWidget(client);

    auto *status = new QStatusBar(this);
    status->setFixedHeight(StatusHeight);
    status->setSizeGripEnabled(false);
    for (QLabel *&panel : StatusBar1) {
        panel = new QLabel(status);
        panel->setFixedWidth(100);
        status->addWidget(panel);
    }
    notice_ = new QLabel(status);
    status->addWidget(notice_, 1);
    setStatusBar(status);

    Panel1 = new QFrame(client);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setGeometry(152, 51, 673, 366);
    Panel1->setAutoFillBackground(true);
    Image_1 = new PictureView(this, Panel1);
    Image_1->setGeometry(0, PictureTop, PhotoZelPicture::Width, PhotoZelPicture::Height);

    ColorGrid1 = new ColorGrid(client);
    ColorGrid1->setGeometry(8, 277, 104, 92);

    Btn_Crayon = makeButton(client, QStringLiteral("Crayon"), 0, 19);
    Btn_Ellipse = makeButton(client, QStringLiteral("Ellipse"), 0, 39);
    Btn_Rectangle = makeButton(client, QStringLiteral("Rectangle"), 71, 19);
    Btn_Texte = makeButton(client, QStringLiteral("Texte"), 71, 39);
    Btn_Degrade = makeButton(client, QStringLiteral("Btn_Degrade"), 24, 375);
    Edit1 = makeEdit(client, QStringLiteral("Edit1"), 8, 184);
    Edit_Nom = makeEdit(client, QStringLiteral("Edit_Nom"), 8, 224);

    connect(Btn_Crayon, &QPushButton::clicked, this, &TForm_PhotoZel::Btn_CrayonClick);
    connect(Btn_Rectangle, &QPushButton::clicked, this, &TForm_PhotoZel::Btn_RectangleClick);
    connect(Btn_Ellipse, &QPushButton::clicked, this, &TForm_PhotoZel::Btn_EllipseClick);
    connect(Btn_Texte, &QPushButton::clicked, this, &TForm_PhotoZel::Btn_TexteClick);
    connect(Btn_Degrade, &QPushButton::clicked, this, &TForm_PhotoZel::Btn_DegradeClick);
    connect(ColorGrid1, &ColorGrid::clicked, this, &TForm_PhotoZel::ColorGrid1Click);
    connect(Edit1, &QLineEdit::textChanged, this, &TForm_PhotoZel::Edit1Change);
    connect(Edit_Nom, &QLineEdit::textChanged, this, &TForm_PhotoZel::Edit_NomChange);
}

QString TForm_PhotoZel::notice() const
{
    return notice_->text();
}

void TForm_PhotoZel::setNotice(const QString &text)
{
    notice_->setText(text);
}

void TForm_PhotoZel::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // Only the first time: coming back from a file dialog keeps the tool the user chose.
    if (activated_)
        return;
    activated_ = true;
    picture_.movePen(QPoint(0, 0));
    selectTool(PhotoTool::Freehand);
}

void TForm_PhotoZel::selectTool(PhotoTool tool)
{
    picture_.setTool(tool);
    StatusBar1[0]->setText(toolName(tool));
}

void TForm_PhotoZel::Btn_CrayonClick()
{
    selectTool(PhotoTool::Freehand);
}

void TForm_PhotoZel::Btn_RectangleClick()
{
    selectTool(PhotoTool::Rectangle);
}

void TForm_PhotoZel::Btn_EllipseClick()
{
    selectTool(PhotoTool::Ellipse);
}

void TForm_PhotoZel::Btn_TexteClick()
{
    selectTool(PhotoTool::Text);
}

void TForm_PhotoZel::ColorGrid1Click()
{
    picture_.setColor(ColorGrid1->ForegroundColor());
}

void TForm_PhotoZel::Image_1MouseDown(QPoint point)
{
    if (picture_.tool() == PhotoTool::Text)
        placeOverlay();
    picture_.press(point);
    Image_1->update();
}

void TForm_PhotoZel::Image_1MouseMove(QPoint point, bool leftHeld)
{
    StatusBar1[1]->setText(QStringLiteral("%1,%2").arg(point.x()).arg(point.y()));
    if (!leftHeld)
        return;
    picture_.drag(point);
    const QString size = picture_.shapeSize();
    if (!size.isEmpty())
        StatusBar1[2]->setText(size);
    Image_1->update();
}

void TForm_PhotoZel::Image_1MouseUp(QPoint point)
{
    picture_.release(point);
    StatusBar1[2]->clear();
    Image_1->update();
}

// The new overlay becomes the current one, whichever was current before.
void TForm_PhotoZel::placeOverlay()
{
    // The overlay starts from the panel's picture, which its own drawing then replaces: a
    // missing picture only leaves it empty.
    if (loadPanelPicture(PanelFiles::picture()).isNull())
        showErrorReport(QStringLiteral(u"Impossible de charger l'image « %1 » : l'image de texte est placée sur "
                                       u"un fond vide.")
                            .arg(PanelFiles::picture()),
                        this);
    const int number = picture_.addOverlay();
    auto *control = new QLabel(Panel1);
    control->setObjectName(QStringLiteral("image%1").arg(number));
    control->setGeometry(Image_1->geometry());
    // Drawing goes on underneath: the overlay only shows.
    control->setAttribute(Qt::WA_TransparentForMouseEvents);
    control->show();
    overlays_.append(control);
    currentOverlay_ = number;
    refreshOverlay(number);
}

void TForm_PhotoZel::refreshOverlay(int number)
{
    overlays_.at(number - 1)->setPixmap(QPixmap::fromImage(picture_.overlay(number)));
}

void TForm_PhotoZel::Edit1Change()
{
    bool isNumber = false;
    const int number = Edit1->text().trimmed().toInt(&isNumber);
    if (!isNumber) {
        setNotice(QStringLiteral(u"« %1 » n'est pas un numéro d'image").arg(Edit1->text()));
        return;
    }
    if (number < 1 || number > picture_.overlayCount()) {
        setNotice(picture_.overlayCount() == 0
                      ? QStringLiteral(u"Aucune image de texte n'est encore placée")
                      : QStringLiteral(u"Pas d'image n° %1 : les images vont de 1 à %2")
                            .arg(number)
                            .arg(picture_.overlayCount()));
        return;
    }
    currentOverlay_ = number;
    setNotice({});
}

void TForm_PhotoZel::Edit_NomChange()
{
    if (currentOverlay_ < 1 || currentOverlay_ > picture_.overlayCount()) {
        setNotice(QStringLiteral(u"Placez d'abord une image de texte avec l'outil Texte"));
        return;
    }
    picture_.writeOnOverlay(currentOverlay_, Edit_Nom->text());
    refreshOverlay(currentOverlay_);
}

void TForm_PhotoZel::Btn_DegradeClick()
{
    gradientPending_ = true;
    centralWidget()->update();
}

void TForm_PhotoZel::Btn_Ouvrir1Click()
{
    const QString path = chooseOpenPicture();
    if (path.isEmpty())
        return;
    QString error;
    const QImage image = readPicture(path, &error);
    if (image.isNull()) {
        showErrorReport(QStringLiteral(u"Impossible d'ouvrir l'image « %1 » : %2").arg(path, error), this);
        return;
    }
    picture_.setImage(image);
    Image_1->update();
}

void TForm_PhotoZel::btn_EnregistrersousClick()
{
    QString path = chooseSavePicture();
    if (path.isEmpty())
        return;
    QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix.isEmpty()) {
        suffix = QStringLiteral("bmp");
        path += QStringLiteral(".bmp");
    }
    if (!QImageWriter::supportedImageFormats().contains(suffix.toLatin1())) {
        showErrorReport(QStringLiteral(u"Impossible d'enregistrer « %1 » : le format « %2 » n'est pas connu.")
                            .arg(path, suffix),
                        this);
        return;
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, suffix.toLatin1());
    if (!writer.write(picture_.composed())) {
        showErrorReport(QStringLiteral(u"Impossible d'enregistrer « %1 » : %2").arg(path, writer.errorString()), this);
        return;
    }
    QString error;
    if (!writeFileAtomically(path, bytes, &error))
        showErrorReport(QStringLiteral(u"Impossible d'enregistrer « %1 » : %2").arg(path, error), this);
}

QString TForm_PhotoZel::defaultOpenChooser()
{
    QFileDialog dialog(this, QStringLiteral("Ouvrir"), QDir::currentPath(),
                       QStringLiteral("Images (*.bmp *.png *.jpg *.jpeg *.gif);;Bitmap (*.bmp);;PNG (*.png);;"
                                      "Tous les fichiers (*)"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    const TForm_ActBtn::KeyHookPause typing;
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.selectedFiles().value(0);
}

QString TForm_PhotoZel::defaultSaveChooser()
{
    QFileDialog dialog(this, QStringLiteral("Enregistrer sous"), QDir::currentPath(),
                       QStringLiteral("Bitmap (*.bmp);;PNG (*.png);;JPEG (*.jpg)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("bmp"));
    // A name typed without its extension takes the one of the chosen type.
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString &filter) {
        const qsizetype star = filter.indexOf(QLatin1String("*."));
        if (star >= 0)
            dialog.setDefaultSuffix(filter.mid(star + 2, filter.indexOf(u')', star) - star - 2));
    });
    const TForm_ActBtn::KeyHookPause typing;
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.selectedFiles().value(0);
}

} // namespace zelvar
