#pragma once

#include "devices/PortSender.h"

#include <QPointer>
#include <QWidget>

#include <functional>

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace zelvar {

class TDegradeClass;
class TForm_CfgBtn;
struct EditButtonEntry;

// The answers to the question the properties dialog asks when it is closed with choices
// not applied: apply then close, drop them then close, stay open.
enum class ClosingAnswer { Apply, Drop, Stay };

// The properties of the layout editor's current button: caption, description, mode, relay,
// infrared code and shortcut. The test button tries the values being edited on the board
// before they are applied; "Appliquer" stores them in the editor's entry and rebuilds the
// live panel. The caption and the shortcut reach the entry at once. Closed with choices
// not applied, it asks whether to apply them.
class TForm_Config2 : public QWidget
{
    Q_OBJECT

public:
    explicit TForm_Config2(TForm_CfgBtn *editor);

    TDegradeClass *DegradeClass1;
    QPushButton *Button1; // test
    QLineEdit *Edit1;     // caption
    QLineEdit *Edit_desc;
    QLabel *Label1;
    QGroupBox *RadioGroup1;
    QButtonGroup *RadioGroup1Items;
    QPlainTextEdit *Memo_UsbUirt;
    QComboBox *Combo_Code;
    QPushButton *Btn_macros;
    QComboBox *Combo_raccourcis;
    QPushButton *Btn_Appliquer;
    QPushButton *Btn_enreg;
    QLineEdit *Edit_touche; // a key pressed here is chosen in Combo_raccourcis

    // The mode item selected, -1 for none.
    int selectedMode() const;
    void selectMode(int item); // as a click on the item

    void RadioGroup1Click();
    void Combo_CodeSelect(int index);
    void Edit1Change();
    void Edit_descChange();
    void Edit_UsbUirtChange();
    void Combo_raccourcisSelect(int index);
    void Btn_AppliquerClick();
    void Btn_enregClick();
    void Btn_macrosClick();
    void Button1MouseDown();
    void Button1MouseUp();
    void Button1Click();
    void Edit_toucheKeyPress(const QKeyEvent &event);

    // Whether closing now would lose something: a pending value that "Appliquer" would
    // store, or a caption changed since the last "Appliquer" or "Enregistrer ".
    bool hasUnappliedChoices() const;
    // The user's answer to the question asked on closing; dropping the choices puts the
    // caption back.
    void closingAnswered(ClosingAnswer answer);
    // Closes without asking, the choices not applied: the editor itself is closing.
    void closeWithoutAsking();

    // Message boxes go through here; tests record them instead.
    std::function<void(const QString &text)> showMessage;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createControls();
    void FormCreate();
    void Chargement2();
    EditButtonEntry *entry() const;
    // Queues a test of the pending texts on the panel's port; a failure is shown once written.
    void send(SendingSequence sequence);
    void showUnlistedShortcut(const QString &name);
    void dropChoices();

    QPointer<TForm_CfgBtn> m_editor;
    QPointer<QWidget> m_mainWindow;
    QString m_appliedCaption; // the caption "Non" puts back
    bool m_closeWithoutAsking = false;
};

} // namespace zelvar
