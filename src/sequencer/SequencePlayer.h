#pragma once

#include "devices/PortSender.h"
#include "panel/PanelButtons.h"
#include "sequencer/PlaybackClock.h"
#include "sequencer/Sequence.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace zelvar {

class TCustomComPort;

// Where firings go: the panel's port and its buttons. No port means no panel: nothing fires.
struct PanelTarget
{
    TCustomComPort *port = nullptr;
    const PanelButtons *buttons = nullptr;
};
using PanelTargetProvider = std::function<PanelTarget()>;

// The playback engine: the clock, the tick and the firing of tracks, over the program's
// sequence state. The window shows what its signals report; the command line prints them.
class SequencePlayer : public QObject
{
    Q_OBJECT
public:
    // The clock defaults to the program's 1000 ms precise timer.
    SequencePlayer(SequenceState &state, PanelTargetProvider target, std::unique_ptr<PlaybackClock> clock = {},
                   QObject *parent = nullptr);
    ~SequencePlayer() override;

    SequenceState &state() { return m_state; }
    bool isPlaying() const;

    // "Lecture"/"Pause": returns the caption the button takes (the caption table entry of the
    // state before it flips), then flips EtatLecture; 0 starts the clock, 1 stops it.
    QString Btn_LectureClick();
    // "Stop": stops the clock and leaves the player not playing, so that the next press plays.
    void Btn_StopClick();
    // The up-down: the play position takes its value.
    void UAvanReculClick(int position);

    // One tick, as the clock's timeout runs it: the position goes up by one second; at the
    // loop time it goes back to 0 and nothing fires; otherwise every track with a button at
    // the new second fires, in track order, once per button. At the largest second the
    // position stays and nothing fires again. Each firing is queued on the port's sender;
    // a port error is reported through failed(); playback goes on with the next tick.
    void Timer1Timer();
    // Fires the current track (PisteEnCours): fired() or failed() once it is written.
    void Run_Btn();

    // Caption table of the play button, indexed by EtatLecture before it flips.
    static QString captionFor(int etatLecture);

    // Runs `action` with the clock held: no tick runs meanwhile, so a modal report opened by
    // a tick never sees the next ticks run inside it. Playback goes on afterwards unless it
    // was paused or stopped meanwhile; the seconds held are not made up.
    void holdClock(const std::function<void()> &action);

signals:
    // After the position moved: `shown` is the second the tick reached (shown even when the
    // loop then sends the position back to 0).
    void ticked(int shown);
    // Track `track` fired panel button `button` (told once written); `refused` says why an infrared code could
    // not be sent (empty when it was).
    void fired(int track, int button, const QString &refused);
    // The port raised while firing: its message.
    void failed(const QString &message);
    void playingChanged(bool playing);

private:
    SequenceState &m_state;
    PanelTargetProvider m_target;
    std::unique_ptr<PlaybackClock> m_clock;
    bool m_held = false;
    bool m_resumeAfterHold = false;
    // The firings of the tick under way, abandoned together after a failure.
    std::shared_ptr<SendOperation> m_tick;
};

} // namespace zelvar
