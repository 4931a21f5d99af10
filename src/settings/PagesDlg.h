#pragma once

#include "settings/PortFormModel.h"

#include <QDialog>
#include <QList>
#include <QPointer>

#include <functional>

class QComboBox;
class QLabel;
class QPushButton;
class QTabWidget;

namespace zelvar {

class PlacePage;
class RemotePage;
class TDegradeClass;

// A label of the dialog's pages, in their font, at its natural size.
QLabel *pagesLabel(QWidget *parent, const QString &text, int left, int top);

// What the general settings dialog needs of the layout editor that opens it: the window to
// hold while the dialog is open, and the picture shown behind the buttons.
struct PagesDlgEditor
{
    QPointer<QWidget> window;
    QPointer<QLabel> Image_Activateur;
};

// "Configurations generales": the serial port and speed applied to the panel's running port,
// the editor's background picture, the three window options, and the place of the sun's
// times. It changes the running program only, and the layout editor's save makes those
// values permanent, but for the place and the remote interfaces: "Appliquer" writes the place
// to the scheduler's file and the remote's settings to the user's remote.ini at once.
class TPagesDlg : public QDialog
{
    Q_OBJECT

public:
    explicit TPagesDlg(const PagesDlgEditor &editor);

    // Creates a dialog for the editor, shows it without blocking and holds the editor
    // until the dialog closes.
    static TPagesDlg *open(const PagesDlgEditor &editor);

    TDegradeClass *DegradeClass1 = nullptr;
    QTabWidget *PageControl1 = nullptr;
    QWidget *PortCom = nullptr;
    QWidget *Graphisme = nullptr;
    PlacePage *Lieu = nullptr;
    RemotePage *Telecommande = nullptr;

    QLabel *Label5 = nullptr;
    QComboBox *Combo_Port = nullptr;
    QComboBox *Combo_Vitesse = nullptr;

    QPushButton *Btn_ImageGenerale = nullptr;
    QPushButton *Btn_AnnulerImage = nullptr;
    QPushButton *Btn_ReduireGenerale = nullptr;
    QPushButton *Btn_NoReduireGenerale = nullptr;
    QPushButton *Btn_MenuSortie = nullptr;
    QPushButton *Btn_NoMenuSortie = nullptr;
    QPushButton *Btn_MoveFentreYes = nullptr;
    QPushButton *Btn_MoveFenetreNo = nullptr;

    QPushButton *Btn_Appliquer = nullptr;
    QPushButton *CancelBtn = nullptr;
    QPushButton *HelpBtn = nullptr;

    // The entries of the port list, in its order.
    const QList<PortChoice> &portChoices() const { return choices_; }

    void Combo_PortSelect(int index);
    void Combo_VitesseSelect(int index);
    void Btn_AppliquerClick();
    void Btn_ImageGeneraleClick();
    void Btn_AnnulerImageClick();
    void Btn_ReduireGeneraleClick();
    void Btn_NoReduireGeneraleClick();
    void Btn_MenuSortieClick();
    void Btn_NoMenuSortieClick();
    void Btn_MoveFentreYesClick();
    void Btn_MoveFenetreNoClick();
    void HelpBtnClick();

    // The picture file dialog; an empty name means cancelled. Tests replace it.
    std::function<QString()> choosePicture;
    // Every plain message of the dialog goes through here; tests replace it. Errors go to
    // the program's error report.
    std::function<void(const QString &)> showMessage;

private:
    QWidget *createPage(const QString &title);
    QWidget *addPage(QWidget *page, const QString &title);
    void createPortPage();
    void createGraphicsPage();
    QPushButton *optionButton(QWidget *page, const QString &text, const QString &hint, int left, int top);
    void optionPair(QPushButton *yes, QPushButton *no);
    void showOptions();
    void showValue(QComboBox *combo, const QString &value);

    QString defaultPictureChooser();
    void defaultMessage(const QString &text);

    bool applyPort();

    PagesDlgEditor editor_;
    QList<PortChoice> choices_;
    bool portChanged_ = false; // a port or speed was chosen since the last "Appliquer" that took
};

} // namespace zelvar
