#pragma once

#include "editors/EditorFiles.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <vector>

class QAction;
class QFileSystemWatcher;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

namespace zelvar {

class TDegradeClass;
class TUpDown;
class TXiButton;

// One button of the layout being edited.
struct EditButtonEntry
{
    QPointer<TXiButton> control; // holds the caption, the place and the hint
    QString description;
    int relay = 0; // 1..16, 0 for none
    int mode = 0;  // ButtonMode
    QString prontoCode;
    int shortcut = 0; // virtual-key code, 0 for none
    QString shortcutName;
    QString id = newButtonId(); // moves with the button; a new button gets its own
};

// One free text of the layout being edited: its edit field holds the text and the place.
struct EditTextEntry
{
    QPointer<QLineEdit> control;
};

// The layout editor: the panel's buttons and texts over the background picture, to add,
// drag, nudge, delete and give properties to; "Appliquer" rebuilds the live panel from its
// lists, "Enregistrer" writes the panel file and the picture. While it is open the live
// panel's key hook is detached, so typing does not fire shortcuts.
class TForm_CfgBtn : public QWidget
{
    Q_OBJECT

public:
    // `owner` is the main window, which the editor hides, shows and re-enables.
    explicit TForm_CfgBtn(QWidget *owner = nullptr);
    ~TForm_CfgBtn() override;

    TDegradeClass *DegradeClass1;
    QFrame *Panel1;
    QLabel *Image_Activateur; // the picture behind the buttons, saved with the panel
    QPushButton *Btn_Appliquer;
    TUpDown *UpDown_Top;
    QLineEdit *Edit_BtnTop;
    TUpDown *UpDown_Left;
    QLineEdit *Edit_BtnLeft;

    QMenu *PopupMenu1; // on every button
    QAction *Btn_Supprimer;
    QAction *Proprietes;
    QMenu *PopupMenu2; // on the window
    QAction *Enregistrer_CfgBtn;
    QAction *Ajouterunbouton1;
    QAction *Ajouteruntexte1;
    QAction *Btn_HideFenetre;
    QAction *Editerlimagedefond1;
    QAction *Proprietesgenerales1;
    QMenu *PopupMenu3; // on every text
    QAction *Suprimmerletexte1;

    // Both lists are indexed from 1; slot 0 holds nothing.
    std::vector<EditButtonEntry> EditButtons;
    std::vector<EditTextEntry> EditTexts;

    int currentButton() const { return m_currentButton; }
    int currentText() const { return m_currentText; }
    int buttonCount() const { return int(EditButtons.size()) - 1; }
    int textCount() const { return int(EditTexts.size()) - 1; }
    bool closingConfirmed() const { return m_closingConfirmed; }
    // A dialog opened over the editor (properties, general settings, the picture's editor)
    // holds it until it closes: the editor takes no input and closing it asks nothing.
    bool isHeld() const;

    // The picture shown behind the buttons; a null image removes it.
    void setPicture(const QImage &picture);
    QImage picture() const;
    // Whether the picture shown is another than the one the panel's picture file held: only
    // then does saving write that file.
    bool pictureChanged() const;

    // The lists as the live panel and the panel file take them.
    std::vector<ButtonConfig> buttonConfigs() const;
    std::vector<TextConfig> textConfigs() const;

    void Btn_AppliquerClick();
    void UpDown_LeftClick();
    void UpDown_TopClick();
    void Btn_SupprimerClick();
    void ProprietesClick();
    void Enregistrer_CfgBtnClick();
    void Ajouterunbouton1Click();
    void Ajouteruntexte1Click();
    void Btn_HideFenetreClick();
    void Editerlimagedefond1Click();
    void Proprietesgenerales1Click();
    void Suprimmerletexte1Click();

    // The saving itself; false when it was refused or failed, the user having been told.
    bool save();

    // Message boxes go through here; tests record them instead.
    std::function<void(const QString &title, const QString &text)> showMessage;

protected:
    void closeEvent(QCloseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createControls();
    void createMenus();
    void FormCreate();
    bool FormCloseQuery();
    void FormClose();
    void Chargement2();
    void BtnAdd2();
    void LabelAdd2();
    TXiButton *createButton(int counter, int left);
    QLineEdit *createText(int counter, int left);
    void DeColorierBtn2();
    void OnClick2();
    void OnEnterLabel1();
    void MoveP(const QPoint &globalPos);
    void MoveLabel(const QPoint &globalPos);
    QRect placeRange(const QWidget *control) const;
    void dragTo(QWidget *control, const QPoint &globalPos);
    void selectButton(int k);
    void paintCurrentButton();
    void showPlace(const QWidget *control);
    void watchPicture();
    void reloadReplacedPicture();
    void showHideItem();
    TXiButton *currentButtonControl() const;
    QLineEdit *currentTextControl() const;

    QPointer<QWidget> m_mainWindow;
    int m_currentButton = 0;
    int m_buttonCounter = 0;
    int m_currentText = 0;
    int m_textCounter = 0;
    bool m_closingConfirmed = false;
    bool m_promptSaveFailed = false; // "Enregistrer" of the closing question did not save
    bool m_buttonsEverHeld = false;
    bool m_textsEverHeld = false;
    EditorFileStatus m_fileStatus;
    QImage m_picture;        // as loaded, so that an unchanged picture saves the same bytes
    qint64 m_pictureKey = 0; // the pixmap shown for it; another one was put there since
    QPoint m_grabOffset; // where the dragged control was taken, in its own coordinates
    QFileSystemWatcher *m_pictureWatch = nullptr;
    FileStamp m_pictureStamp; // the picture file as the picture shown was read from it
};

} // namespace zelvar
