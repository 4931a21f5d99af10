#pragma once

#include "editors/PhotoZelPicture.h"

#include <QList>
#include <QMainWindow>
#include <QPointer>

#include <functional>

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace zelvar {

class ColorGrid;

// "PhotoZel": a small paint window for the panel's background picture. Free-hand lines,
// rectangles and ellipses in a colour of the grid, text overlays laid over the picture, and
// opening and saving pictures.
class TForm_PhotoZel : public QMainWindow
{
    Q_OBJECT

public:
    // `editor` is the window given back its input when this one closes.
    explicit TForm_PhotoZel(QWidget *editor = nullptr);

    // Creates the window for the editor, shows it and holds the editor until it closes.
    static TForm_PhotoZel *open(QWidget *editor);

    QLabel *StatusBar1[3] = {}; // tool name, mouse position, shape size
    QFrame *Panel1 = nullptr;
    QWidget *Image_1 = nullptr;
    ColorGrid *ColorGrid1 = nullptr;
    QPushButton *Btn_Crayon = nullptr;
    QPushButton *Btn_Ellipse = nullptr;
    QPushButton *Btn_Rectangle = nullptr;
    QPushButton *Btn_Texte = nullptr;
    QPushButton *Btn_Degrade = nullptr;
    QLineEdit *Edit1 = nullptr;
    QLineEdit *Edit_Nom = nullptr;
    QAction *Btn_Ouvrir1 = nullptr;
    QAction *btn_Enregistrersous = nullptr;

    const PhotoZelPicture &picture() const { return picture_; }
    // The overlay controls, overlay n at n - 1, named "image" + n.
    const QList<QLabel *> &overlays() const { return overlays_; }
    int currentOverlay() const { return currentOverlay_; }
    // Why the last overlay index or text could not be used; empty when all is well.
    QString notice() const;

    void Btn_CrayonClick();
    void Btn_RectangleClick();
    void Btn_EllipseClick();
    void Btn_TexteClick();
    void ColorGrid1Click();
    void Image_1MouseDown(QPoint point);
    void Image_1MouseMove(QPoint point, bool leftHeld);
    void Image_1MouseUp(QPoint point);
    void Edit1Change();
    void Edit_NomChange();
    void Btn_DegradeClick();
    void Btn_Ouvrir1Click();
    void btn_EnregistrersousClick();

    // The picture file dialogs; an empty name means cancelled. Tests replace them.
    std::function<QString()> chooseOpenPicture;
    std::function<QString()> chooseSavePicture;

protected:
    void showEvent(QShowEvent *event) override;   // FormActivate

private:
    class PictureView;
    class Background;

    void createMenus();
    void createControls();
    void selectTool(PhotoTool tool);
    void placeOverlay();
    void refreshOverlay(int number);
    void setNotice(const QString &text);

    QString defaultOpenChooser();
    QString defaultSaveChooser();

    QPointer<QWidget> editor_;
    PhotoZelPicture picture_;
    QList<QLabel *> overlays_;
    int currentOverlay_ = 0;
    QLabel *notice_ = nullptr;
    // The next repaint draws the gradient; later ones do not.
    bool gradientPending_ = false;
    bool activated_ = false;
};

} // namespace zelvar
