#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QPushButton;

namespace zelvar {

// The prompt built in code for every confirmation and information box of the main window
// and of the layout editor: a caption, a message and up to three buttons whose action codes
// the main window interprets (TForm_Base::ClickBtnGauche, ClickBtnDroite, ClickBtnMilieu).
// It has no Close box: it can only be left through its buttons.
class TformDynamique : public QWidget
{
    Q_OBJECT

public:
    explicit TformDynamique(QWidget *owner);

    QPushButton *ButtonG_Ba = nullptr; // left
    QPushButton *ButtonM_Ba = nullptr; // middle
    QPushButton *ButtonD_Ba = nullptr; // right
    QLabel *Label_Ba = nullptr;

    // Leaves the dialog (hides it); the one way out, taken by the button actions.
    void closeDialog();

protected:
    // The caption's Close box and Alt+F4 are refused.
    void closeEvent(QCloseEvent *event) override;

private:
    bool m_leaving = false;
};

// The message as the prompt shows it: each carriage return breaks the line, blanks stay.
QString promptText(const QString &message);

// Opens a prompt through the main window (TForm_Base::CreationDynamique); the arguments in
// its order. Does nothing while there is no main window.
void CreationDynamique(const QString &caption, const QString &leftText, const QString &rightText,
                       const QString &middleText, const QString &message, int leftCode,
                       int rightCode, int middleCode, bool leftVisible, bool rightVisible,
                       bool middleVisible);

} // namespace zelvar
