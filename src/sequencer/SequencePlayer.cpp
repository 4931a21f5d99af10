#include "sequencer/SequencePlayer.h"

#include "devices/ComError.h"
#include "devices/ComPort.h"
#include "devices/SendSequences.h"

#include <QPointer>

#include <limits>

namespace zelvar {

SequencePlayer::SequencePlayer(SequenceState &state, PanelTargetProvider target,
                               std::unique_ptr<PlaybackClock> clock, QObject *parent)
    : QObject(parent), m_state(state), m_target(std::move(target)),
      m_clock(clock ? std::move(clock) : std::make_unique<TimerClock>())
{
    m_clock->setOnTick([this] { Timer1Timer(); });
}

SequencePlayer::~SequencePlayer() = default;

bool SequencePlayer::isPlaying() const
{
    return m_held ? m_resumeAfterHold : m_clock->isActive();
}

void SequencePlayer::holdClock(const std::function<void()> &action)
{
    if (m_held) {
        action();
        return;
    }
    m_held = true;
    m_resumeAfterHold = m_clock->isActive();
    m_clock->stop();
    struct Release
    {
        SequencePlayer *p;
        ~Release()
        {
            p->m_held = false;
            if (p->m_resumeAfterHold)
                p->m_clock->start();
        }
    } release{this};
    action();
}

QString SequencePlayer::captionFor(int etatLecture)
{
    return etatLecture == 0 ? QStringLiteral("Lecture") : QStringLiteral("Pause");
}

QString SequencePlayer::Btn_LectureClick()
{
    const QString caption = captionFor(m_state.EtatLecture);
    m_state.EtatLecture = m_state.EtatLecture == 0 ? 1 : 0;
    const bool was = isPlaying();
    if (m_held)
        m_resumeAfterHold = m_state.EtatLecture == 0;
    else if (m_state.EtatLecture == 0)
        m_clock->start();
    else
        m_clock->stop();
    if (was != isPlaying())
        emit playingChanged(isPlaying());
    return caption;
}

void SequencePlayer::Btn_StopClick()
{
    const bool was = isPlaying();
    m_resumeAfterHold = false;
    m_state.EtatLecture = 1;
    m_clock->stop();
    if (was)
        emit playingChanged(false);
}

void SequencePlayer::UAvanReculClick(int position)
{
    m_state.PositionLecture = position;
}

void SequencePlayer::Timer1Timer()
{
    SequenceState &s = m_state;
    // The position only grows while nobody stops it; it rests at the largest value it can
    // hold, where what stands at that second has fired on the tick that reached it.
    const bool moved = s.PositionLecture < std::numeric_limits<int>::max();
    if (moved)
        ++s.PositionLecture;
    emit ticked(s.PositionLecture);
    if (s.loopTime() == s.PositionLecture) {
        s.PositionLecture = 0;
        return;
    }
    if (!moved)
        return;
    const int now = s.PositionLecture;
    // A port error ends the tick: the tick's firings are one operation of the sender, so a
    // failed one abandons those after it and is the only one told.
    m_tick = std::make_shared<SendOperation>();
    // Track and button counts are read afresh each time round: a handler of fired()
    // may change the sequence.
    for (int i = 1; i <= s.trackCount(); ++i)
        for (int j = 1; i <= s.trackCount() && j <= s.Pistes[size_t(i)].btnCount(); ++j)
            if (s.Pistes[size_t(i)].Btns[size_t(j)] == now) {
                s.PisteEnCours = i;
                Run_Btn();
            }
    m_tick.reset();
}

void SequencePlayer::Run_Btn()
{
    const int track = m_state.PisteEnCours;
    if (track < 1 || track > m_state.trackCount())
        return;
    const int code = m_state.Pistes[size_t(track)].Code;
    if (code < 1)
        return;
    const PanelTarget target = m_target ? m_target() : PanelTarget{};
    // A code beyond the panel, or no panel at all, names no button: nothing fires.
    if (!target.port || !target.buttons || code >= int(target.buttons->size()))
        return;
    const ButtonEntry &entry = (*target.buttons)[size_t(code)];
    // Told once the port's sender has written the step, which goes ahead of waiting ones.
    QPointer<SequencePlayer> self(this);
    SendingSequence step = Send::step(entry.mode, entry.commands());
    step.operation = m_tick;
    step.opensOperation = true;
    Send::queue(*target.port, std::move(step), [self, track, code](const SendResult &result) {
        if (!self || result.skipped)
            return;
        if (result.error)
            emit self->failed(result.error->Message());
        else
            emit self->fired(track, code, result.infraredNotSent.value_or(QString()));
    });
}

} // namespace zelvar
