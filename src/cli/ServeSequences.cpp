#include "cli/ServeSequences.h"

#include "common/ProfileFile.h"
#include "sequencer/Activities.h"
#include "sequencer/SequenceFile.h"
#include "sequencer/SequencePlayer.h"

namespace zelvar::cli {

ServeSequences::ServeSequences(TCustomComPort &port, const PanelButtons &buttons, PortOpener openPort, Log log)
    : m_port(port), m_buttons(buttons), m_openPort(std::move(openPort)), m_log(std::move(log))
{
}

ServeSequences::~ServeSequences() = default;

RemoteResult ServeSequences::play(const QString &activity)
{
    const QStringList items = Activities::DetectIni();
    const qsizetype index = items.indexOf(activity);
    if (index < 0)
        return RemoteResult::notFound(QStringLiteral("activité inconnue : « %1 »").arg(activity.left(100)));
    const QString path = Activities::fileForItem(int(index), activity);
    bool exists = false;
    const ProfileFile file = ProfileFile::load(path, &exists);
    if (!exists)
        return RemoteResult::notFound(QStringLiteral("séquence absente : ") + path);
    if (file.unreadable())
        return RemoteResult::failed(path + QStringLiteral(" : ") + file.readError());
    auto state = std::make_unique<SequenceState>();
    state->FichierSeq = path;
    const SequenceRead read = readSequence(file, *state, int(m_buttons.size()) - 1);
    if (!read.refused.isEmpty())
        return RemoteResult::failed(path + QStringLiteral(" : ") + read.refused);
    if (state->trackCount() < 1)
        return RemoteResult::badRequest(path + QStringLiteral(" n'a aucune piste à jouer"));
    if (const std::optional<QString> refused = m_openPort())
        return RemoteResult::failed(*refused);

    stop();
    m_player.reset();
    m_state = std::move(state);
    m_player = std::make_unique<SequencePlayer>(*m_state, [this] { return PanelTarget{&m_port, &m_buttons}; });
    QObject::connect(m_player.get(), &SequencePlayer::failed, [this, path](const QString &message) {
        m_log(QStringLiteral("error séquence %1 : %2").arg(path, message));
    });
    QObject::connect(m_player.get(), &SequencePlayer::fired, [this, path](int track, int button, const QString &refused) {
        if (!refused.isEmpty())
            m_log(QStringLiteral("error séquence %1 piste %2 bouton %3 : %4").arg(path).arg(track).arg(button).arg(refused));
    });
    m_player->Btn_LectureClick();
    m_log(QStringLiteral("sequence %1 lancée").arg(path));
    return {};
}

RemoteResult ServeSequences::stop()
{
    if (m_player && m_player->isPlaying()) {
        m_player->Btn_StopClick();
        m_log(QStringLiteral("sequence %1 arrêtée").arg(m_state->FichierSeq));
    }
    return {};
}

} // namespace zelvar::cli
