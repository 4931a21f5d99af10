#include "remote/RemoteSequences.h"

#include "sequencer/Activities.h"
#include "sequencer/Sequence.h"

#include <QFileInfo>

namespace zelvar {

RemoteSequences::RemoteSequences(PanelTargetProvider target, Log log, PortOpener openPort)
    : m_target(std::move(target)), m_log(std::move(log)), m_openPort(std::move(openPort))
{
}

RemoteSequences::~RemoteSequences() = default;

RemoteResult RemoteSequences::play(const QString &activity)
{
    const QStringList items = Activities::DetectIni();
    const qsizetype index = items.indexOf(activity);
    if (index < 0)
        return RemoteResult::notFound(QStringLiteral("activité inconnue : « %1 »").arg(activity.left(100)));
    const QString path = Activities::fileForItem(int(index), activity);
    if (!QFileInfo::exists(path))
        return RemoteResult::notFound(QStringLiteral("séquence absente : ") + path);
    const PanelTarget target = m_target();
    const int buttons = target.buttons ? int(target.buttons->size()) - 1 : 0;
    auto state = std::make_unique<SequenceState>();
    const Activities::SelectResult loaded = Activities::load(*state, path, buttons);
    if (!loaded.loaded)
        return RemoteResult::badRequest(path + QStringLiteral(" : ") + loaded.message.split(u'\n').join(QStringLiteral(" : ")));
    if (m_openPort) {
        if (const std::optional<QString> refused = m_openPort())
            return RemoteResult::failed(*refused);
    }

    stop();
    m_player.reset();
    m_state = std::move(state);
    m_player = std::make_unique<SequencePlayer>(*m_state, m_target);
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

RemoteResult RemoteSequences::stop()
{
    if (m_player && m_player->isPlaying()) {
        m_player->Btn_StopClick();
        m_log(QStringLiteral("sequence %1 arrêtée").arg(m_state->FichierSeq));
    }
    return {};
}

} // namespace zelvar
