#pragma once

#include "panel/PanelButtons.h"
#include "remote/RemoteControl.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace zelvar {
class SequencePlayer;
struct SequenceState;
class TCustomComPort;
} // namespace zelvar

namespace zelvar::cli {

// The service plays one sequence at a time for the remote interfaces, from its start, with
// the sequencer's engine, on the service's port and panel.
class ServeSequences
{
public:
    // `openPort` opens the port when it is not, and says why it cannot; `log` takes one line.
    using PortOpener = std::function<std::optional<QString>()>;
    using Log = std::function<void(const QString &)>;

    ServeSequences(TCustomComPort &port, const PanelButtons &buttons, PortOpener openPort, Log log);
    ~ServeSequences();

    // "Default" or an activity file of Activites/, as the sequencer's chooser lists them.
    RemoteResult play(const QString &activity);
    RemoteResult stop();

private:
    TCustomComPort &m_port;
    const PanelButtons &m_buttons;
    PortOpener m_openPort;
    Log m_log;
    std::unique_ptr<SequenceState> m_state;
    std::unique_ptr<SequencePlayer> m_player;
};

} // namespace zelvar::cli
