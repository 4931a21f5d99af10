#pragma once

#include "devices/SendSequences.h"
#include "panel/PanelButtons.h"
#include "panel/PanelConfig.h"

#include <QImage>
#include <QList>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <vector>

class QFrame;
class QKeyEvent;
class QLabel;

namespace zelvar {

class KeyHook;
class TComPort;
class TXiButton2;

// The live panel: the background picture, the user's buttons and free texts, and the one
// serial port every sender writes to. Mouse operations on its buttons and, while its
// message hook is installed, the key presses of the application that no dialog, menu or text
// field reads become relay commands and infrared transmissions.
//
// Creation enables the main window's commands, installs the message hook, loads the panel
// file of the working directory, opens the port and paints the bar over the picture. When
// the port cannot be opened, the port form takes over the panel area.
class TForm_ActBtn : public QWidget
{
    Q_OBJECT

public:
    explicit TForm_ActBtn(QWidget *parent = nullptr);
    ~TForm_ActBtn() override;

    QFrame *Panel1;
    QLabel *Image1; // the background picture
    QLabel *Label1;
    QLabel *Image3;
    // Shown while the panel has no button, so that a first start says how to begin.
    QLabel *EmptyHint;
    TComPort *ComPort1;
    // The live texts in file order: text k is PanelTexts[k - 1]. Owned by Panel1.
    QList<QLabel *> PanelTexts;

    // Fills the panel from the panel file and opens the port.
    void Load();
    // Replaces buttons and texts by the factory layout; the panel file, the picture and
    // the open port stay as they are.
    void FactoryLoad();
    // Replaces buttons and texts by the layout editor's lists and reloads the picture.
    void Rebuild(const std::vector<ButtonConfig> &buttons, const std::vector<TextConfig> &texts);

    // Slot 0 is empty; slot k is button k.
    const PanelButtons &buttons() const { return m_buttons; }
    // The buttons and texts shown, as the last load or rebuild gave them.
    const PanelConfig &config() const { return m_config; }
    // The button last pressed, released, clicked or focused; 0 for none.
    int CurrentButton() const { return m_currentButton; }

    // A sequencer step or scheduler firing of button k, queued ahead of what waits on the
    // port. A failed write or an infrared failure goes to the program's error report once
    // the sender has run it; an index with no button does nothing.
    void fireButton(int k);

    // The application-wide key handler. Only one panel holds it at a time: installing it
    // on this panel takes it from any other. The layout editor removes it while it is open.
    void installMessageHook();
    void removeMessageHook();
    bool messageHookInstalled() const;

    // Stands the current panel's key hook aside for its lifetime. File dialogs ran their own
    // message loop on the original platform, out of the hook's reach; here the hook would
    // eat every key typed into them.
    class KeyHookPause
    {
    public:
        KeyHookPause();
        ~KeyHookPause();
        KeyHookPause(const KeyHookPause &) = delete;
        KeyHookPause &operator=(const KeyHookPause &) = delete;

    private:
        QPointer<TForm_ActBtn> m_panel;
    };

    // What the message hook does with a key press that starts holding a key (KeyHook says
    // which presses reach it): fires the button whose shortcut is the key's code (the
    // highest index wins).
    void TraiteMessages(const QKeyEvent &event);

signals:
    // Buttons or texts were replaced: by a load, the factory layout or the layout editor.
    void panelChanged();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void createControls();
    void applySettings(const PanelSettings &settings, bool withMoveMainWindow);
    void openPortOrShowPortForm();
    void showPortForm();

    void destroyButtons();
    void destroyTexts();
    void createButtons(const std::vector<ButtonConfig> &buttons);
    QLabel *createText(const TextConfig &text, const QString &name);
    void reloadPicture();
    void paintBar();

    int indexOf(const QObject *button) const;
    void BoutonMouseDown(TXiButton2 *button, Qt::MouseButton mouseButton);
    void BoutonMouseUp(TXiButton2 *button, Qt::MouseButton mouseButton);
    void BoutonClick(TXiButton2 *button);
    void BoutonEnter(TXiButton2 *button);
    void BoutonMouseLeave();

    PanelButtons m_buttons;
    PanelConfig m_config;
    int m_currentButton = 0;
    Send::ButtonGesture m_gesture;
    QImage m_picture;
    std::unique_ptr<KeyHook> m_hook;
};

} // namespace zelvar
