#pragma once

#include "devices/ComError.h"
#include "settings/PortFormModel.h"

#include <QList>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class QComboBox;
class QLabel;
class QPushButton;

namespace zelvar {

class TCustomComPort;

// The port form: choose the serial port and its speed, apply them to the panel's port, test
// them by switching relay 1 on and off, store them in the panel file. It is shown inside a
// panel when the port cannot be opened at start, or on demand from the main window.
class TForm_CfgErreur : public QWidget
{
    Q_OBJECT

public:
    explicit TForm_CfgErreur(QWidget *parent = nullptr);

    QLabel *Label1 = nullptr;
    // The explanation of why the form is shown; the main window empties it when the user
    // opens the form on purpose.
    QLabel *Label2 = nullptr;
    QLabel *Image1 = nullptr;
    QPushButton *Btn_FermerCfgE = nullptr;
    QPushButton *Btn_EnrCfgE = nullptr;
    QPushButton *Btn_QuitterCfgE = nullptr;
    QComboBox *Port = nullptr;
    QComboBox *ComboBoxBaudsCfgE = nullptr;
    QPushButton *Btn_AppliquerCfgE = nullptr;
    QPushButton *Btn_TestCfgE = nullptr;

    // The entries of the port list, in its order.
    const QList<PortChoice> &portChoices() const { return choices_; }

    void PortSelect(int index);
    void ComboBoxBaudsCfgESelect(int index);
    void Btn_AppliquerCfgEClick();
    void Btn_TestCfgEClick();
    void Btn_EnrCfgEClick();
    void Btn_FermerCfgEClick();
    void Btn_QuitterCfgEClick();

    // Writes the port name and speed in force into the panel file; "Enregistrer " does so
    // at once when the port in force is open, else once the user has said yes.
    void storeSettings();

    // Every message and error report of the form goes through here. By default a modal box
    // that waits for the user; tests install a recorder so nothing blocks. An empty hook
    // restores the boxes.
    using MessageHook = std::function<void(const QString &text)>;
    static void setMessageHook(MessageHook hook);

signals:
    // "Fermer" was pressed: whoever opened the form gives back its own opening command.
    void closed();

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Inside a panel the form fills it, and follows its size.
    void followParent();
    TCustomComPort *panelPort() const;
    void applyTo(TCustomComPort &port) const;
    // The port list's text, once the user has typed in it, becomes the port name in force.
    // False, and nothing changes, when the text is not a port name; `report` says why.
    bool takeTypedPort(bool report);
    // The test's failure, told in the form: the device tried and the error's hint.
    void testFailed(const TCustomComPort &port, const std::optional<EComPort> &error);
    bool portInForceOpen() const;
    void setButtons(const PortFormButtons &buttons);
    PortFormButtons buttons() const;
    void message(const QString &text);
    void errorReport(const QString &text);

    QList<PortChoice> choices_;
    QPointer<QWidget> followed_;
    // The port list's text was typed and not yet taken.
    bool typed_ = false;
};

} // namespace zelvar
