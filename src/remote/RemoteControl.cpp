#include "remote/RemoteControl.h"

#include "devices/ComError.h"
#include "devices/ComPort.h"
#include "devices/SendSequences.h"
#include "remote/RelayStates.h"
#include "scheduler/ScheduleEngine.h"

#include <QDateTime>
#include <QDir>
#include <QLocale>
#include <QPointer>

#include <algorithm>
#include <cerrno>

namespace zelvar {

std::vector<RemoteScheduleRow> remoteScheduleRows(const ScheduleEngine &engine,
                                                  const std::vector<SavedScheduleRow> &saved)
{
    std::vector<RemoteScheduleRow> rows;
    for (int i = 1; i <= engine.count() && size_t(i) <= saved.size(); ++i) {
        RemoteScheduleRow row{saved[size_t(i - 1)], engine.row(i).armed, std::nullopt};
        if (const auto instant = engine.instantOf(i); instant && row.armed)
            row.next = QDateTime::fromMSecsSinceEpoch(*instant);
        rows.push_back(std::move(row));
    }
    return rows;
}

RemoteControl::RemoteControl(Host host, TCustomComPort &port, RelayStates &states, QObject *parent)
    : QObject(parent), host_(host), port_(port), states_(states)
{
}

QString RemoteControl::hostName() const
{
    return host_ == Host::Program ? QStringLiteral("program") : QStringLiteral("service");
}

QString RemoteControl::portName() const
{
    return port_.Port();
}

bool RemoteControl::portOpen() const
{
    return port_.Connected();
}

bool RemoteControl::portLost() const
{
    return port_.Lost();
}

void RemoteControl::setPanel(const PanelConfig &panel)
{
    // Indexes may now name other buttons: what is held is let go first, with the commands of
    // the panel it was pressed on, so that no relay stays on with nobody left to release it.
    const auto held = held_;
    for (const auto &[holder, button] : held)
        release(button, holder);
    panel_ = panel;
    buttons_ = buildPanelButtons(panel.buttons);
    emit panelChanged();
}

QString RemoteControl::picturePath()
{
    return PanelFiles::picture();
}

template<typename Write>
RemoteResult RemoteControl::guarded(Write write, bool serial, int sequences)
{
    if (serial && port_.Lost())
        return RemoteResult::failed(lostPort());
    if (serial && !port_.Connected()) {
        if (!opener_)
            return RemoteResult::failed(EComPort(CError_WriteFailed, EBADF).Message());
        if (const std::optional<QString> why = opener_())
            return RemoteResult::failed(*why);
    }
    // The sequences of one command are queued whole or not at all.
    if (port_.sender().waiting() + sequences > PortSender::MaxWaiting)
        return refusedBusy();
    return write();
}

QString RemoteControl::lostPort() const
{
    return QStringLiteral("port %1 perdu : nouvel essai chaque seconde").arg(port_.Port());
}

RemoteResult RemoteControl::refusedBusy()
{
    return RemoteResult::failed(
        QStringLiteral("trop de commandes en attente (%1) sur le port, commande refusée").arg(PortSender::MaxWaiting));
}

bool RemoteControl::queue(SendingSequence sequence)
{
    sequence.lane = SendLane::Remote;
    return Send::queue(port_, std::move(sequence), reporter());
}

SendDone RemoteControl::reporter()
{
    return [self = QPointer<RemoteControl>(this)](const SendResult &result) {
        if (!self)
            return;
        if (result.error)
            emit self->sendFailed(result.error->Message());
        else if (result.infraredNotSent)
            emit self->sendFailed(QStringLiteral("code infrarouge non émis : ") + *result.infraredNotSent);
    };
}

std::optional<RemoteResult> RemoteControl::checkButton(int button) const
{
    if (button < 1 || size_t(button) >= buttons_.size())
        return RemoteResult::notFound(QStringLiteral("bouton inconnu : %1").arg(button));
    return std::nullopt;
}

RemoteResult RemoteControl::setRelays(const std::map<int, RelayAction> &actions)
{
    for (const auto &[relay, action] : actions)
        if (relay < 1 || relay > RelayCount)
            return RemoteResult::notFound(QStringLiteral("relais inconnu : %1").arg(relay));
    return guarded([&] {
        for (const auto &[relay, action] : actions) {
            const int mode = action == RelayAction::On ? On : action == RelayAction::Off ? Off : Bistable;
            SendingSequence sequence = Send::click(mode, commandSlotsFor(mode, relay, {}));
            // A state still waiting for this relay is overtaken: the latest wins.
            if (action != RelayAction::Toggle)
                sequence.coalesceRelay = relay;
            if (!queue(std::move(sequence)))
                return refusedBusy();
        }
        return RemoteResult{};
    }, true, int(actions.size()));
}

RemoteResult RemoteControl::allOff()
{
    return guarded([&] { return queue(Send::allOff()) ? RemoteResult{} : refusedBusy(); });
}

RemoteResult RemoteControl::press(int button, const void *holder)
{
    if (auto refused = checkButton(button))
        return *refused;
    return guarded([&] {
        held_.insert({holder, button});
        queue(Send::press(buttons_[size_t(button)].commands()));
        return RemoteResult{};
    }, buttons_[size_t(button)].mode != UsbUirt);
}

RemoteResult RemoteControl::release(int button, const void *holder)
{
    if (auto refused = checkButton(button))
        return *refused;
    held_.remove({holder, button});
    if (buttons_[size_t(button)].mode != UsbUirt && port_.Lost())
        return RemoteResult::failed(lostPort());
    if (buttons_[size_t(button)].mode != UsbUirt && !port_.Connected()) {
        if (!opener_)
            return RemoteResult::failed(EComPort(CError_WriteFailed, EBADF).Message());
        if (const std::optional<QString> why = opener_())
            return RemoteResult::failed(*why);
    }
    // A release is never refused: a relay pressed on must come off again.
    SendingSequence sequence = Send::release(buttons_[size_t(button)].commands());
    Send::queue(port_, std::move(sequence), reporter());
    return RemoteResult{};
}

RemoteResult RemoteControl::click(int button)
{
    if (auto refused = checkButton(button))
        return *refused;
    const ButtonEntry &entry = buttons_[size_t(button)];
    if (entry.mode == Imp)
        return guarded([&] { return queue(Send::shortcut(entry.mode, entry.commands())) ? RemoteResult{} : refusedBusy(); });
    return guarded([&] {
        Send::ButtonGesture gesture(SendLane::Remote);
        gesture.press(button, port_, entry.commands(), reporter());
        gesture.click(button, port_, entry.mode, entry.commands(), reporter());
        gesture.release(button, port_, entry.commands(), reporter());
        return RemoteResult{};
    }, entry.mode != UsbUirt, 3);
}

RemoteResult RemoteControl::pulse(int relay, double seconds)
{
    if (relay < 1 || relay > RelayCount)
        return RemoteResult::notFound(QStringLiteral("relais inconnu : %1").arg(relay));
    // NaN fails both comparisons.
    if (!(seconds >= MinPulseSeconds && seconds <= MaxPulseSeconds))
        return RemoteResult::badRequest(QStringLiteral("durée d'impulsion refusée : de %1 à %2 secondes attendu")
                                            .arg(QLocale(QLocale::French).toString(MinPulseSeconds))
                                            .arg(QLocale(QLocale::French).toString(MaxPulseSeconds, 'f', 0)));
    const qint64 lengthMs = qint64(seconds * 1000 + 0.5);
    return guarded([&] {
        SendingSequence on = Send::click(On, commandSlotsFor(On, relay, {}));
        on.coalesceRelay = relay;
        on.lane = SendLane::Remote;
        // The pulse lasts from the moment its "on" is written, however long it waited.
        const bool queued = Send::queue(port_, std::move(on),
                                        [self = QPointer<RemoteControl>(this), relay, lengthMs, report = reporter()](const SendResult &result) {
                                            report(result);
                                            if (self && !result.error && result.firstWriteMs)
                                                self->keepPulseOff(relay, result.firstWriteMs + lengthMs);
                                        });
        if (!queued)
            return refusedBusy();
        // Kept at once, so that a host that ends before the "on" is written still ends it.
        keepPulseOff(relay, QDateTime::currentMSecsSinceEpoch() + lengthMs);
        return RemoteResult{};
    });
}

void RemoteControl::keepPulseOff(int relay, qint64 dueMs)
{
    if (!memory().setPulseOff(relay, dueMs))
        emit sendFailed(QStringLiteral("l'arrêt de l'impulsion du relais %1 n'est pas gardé : %2").arg(relay).arg(memory().error()));
    schedulePulseOff(relay, dueMs);
}

void RemoteControl::resumePulses()
{
    memory().reload();
    const QHash<int, qint64> offs = memory().pulseOffs();
    for (auto it = offs.constBegin(); it != offs.constEnd(); ++it)
        if (it.key() >= 1 && it.key() <= RelayCount)
            schedulePulseOff(it.key(), it.value());
}

ScheduleMemory &RemoteControl::memory()
{
    if (!memory_)
        memory_ = std::make_unique<ScheduleMemory>(QDir::currentPath());
    return *memory_;
}

void RemoteControl::schedulePulseOff(int relay, qint64 dueMs)
{
    std::unique_ptr<QTimer> &timer = pulseTimers_[relay];
    if (!timer) {
        timer = std::make_unique<QTimer>();
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
    }
    timer->disconnect();
    connect(timer.get(), &QTimer::timeout, this, [this, relay, dueMs] { pulseOff(relay, dueMs); });
    // Waits stay short, so that a clock set or a machine woken is followed.
    timer->start(int(std::clamp<qint64>(dueMs - QDateTime::currentMSecsSinceEpoch(), 0, 1000)));
}

void RemoteControl::pulseOff(int relay, qint64 dueMs)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (dueMs > now) {
        schedulePulseOff(relay, dueMs);
        return;
    }
    // The "off" is forgotten only once written; a lost or closed port is tried each second.
    const auto retry = [this, relay, dueMs] { schedulePulseOff(relay, std::max(dueMs, QDateTime::currentMSecsSinceEpoch() + 1000)); };
    if (port_.Lost() || (!port_.Connected() && (!opener_ || opener_()))) {
        retry();
        return;
    }
    SendingSequence off = Send::click(Off, commandSlotsFor(Off, relay, {}));
    off.lane = SendLane::Timed;
    const bool queued = Send::queue(port_, std::move(off), [self = QPointer<RemoteControl>(this), relay, dueMs](const SendResult &result) {
        if (!self)
            return;
        if (result.error) {
            emit self->sendFailed(result.error->Message());
            self->schedulePulseOff(relay, QDateTime::currentMSecsSinceEpoch() + 1000);
            return;
        }
        // A newer pulse of the relay keeps its own "off".
        if (self->memory().pulseOffs().value(relay) == dueMs || !self->memory().pulseOffs().contains(relay))
            self->memory().setPulseOff(relay, std::nullopt);
    });
    if (!queued)
        retry();
}

void RemoteControl::releaseAll(const void *holder)
{
    const auto held = held_;
    for (const auto &[who, button] : held)
        if (who == holder)
            release(button, holder);
}

void RemoteControl::setSequencePlayer(Player play, Stopper stop)
{
    play_ = std::move(play);
    stop_ = std::move(stop);
}

void RemoteControl::setPortOpener(PortOpener opener)
{
    opener_ = std::move(opener);
}

void RemoteControl::setScheduleSource(ScheduleSource source)
{
    schedule_ = std::move(source);
}

RemoteResult RemoteControl::playSequence(const QString &activity)
{
    if (!play_)
        return RemoteResult::failed(QStringLiteral("ce programme ne joue pas de séquence"));
    return guarded([&] { return play_(activity); }, false);
}

RemoteResult RemoteControl::stopSequence()
{
    if (!stop_)
        return RemoteResult::failed(QStringLiteral("ce programme ne joue pas de séquence"));
    return stop_();
}

std::vector<RemoteScheduleRow> RemoteControl::schedule() const
{
    return schedule_ ? schedule_() : std::vector<RemoteScheduleRow>{};
}

} // namespace zelvar
