#pragma once

#include "remote/RemoteControl.h"
#include "sequencer/SequencePlayer.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace zelvar {

struct SequenceState;

// The activities a host plays for the remote interfaces: one at a time, from its start, with
// the sequencer's engine, on the panel the host gives. Each play reads the activity afresh.
class RemoteSequences
{
public:
    using Log = std::function<void(const QString &)>;
    // Makes the port ready before a play (opens it when it is not); why it cannot.
    using PortOpener = std::function<std::optional<QString>()>;

    RemoteSequences(PanelTargetProvider target, Log log, PortOpener openPort = {});
    ~RemoteSequences();

    // "Default" or an activity file of Activites/, as the sequencer's chooser lists them.
    RemoteResult play(const QString &activity);
    RemoteResult stop();

private:
    PanelTargetProvider m_target;
    Log m_log;
    PortOpener m_openPort;
    std::unique_ptr<SequenceState> m_state;
    std::unique_ptr<SequencePlayer> m_player;
};

} // namespace zelvar
