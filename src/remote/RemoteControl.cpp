#include "remote/RemoteControl.h"

#include "devices/ComError.h"
#include "devices/ComPort.h"
#include "devices/SendSequences.h"
#include "remote/RelayStates.h"
#include "scheduler/ScheduleEngine.h"

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
RemoteResult RemoteControl::guarded(Write write, bool serial)
{
    if (serial && port_.Lost())
        return RemoteResult::failed(QStringLiteral("port %1 perdu : nouvel essai chaque seconde").arg(port_.Port()));
    if (serial && opener_ && !port_.Connected()) {
        if (const std::optional<QString> why = opener_())
            return RemoteResult::failed(*why);
    }
    try {
        return write();
    } catch (const EComPort &error) {
        return RemoteResult::failed(error.Message());
    }
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
            Send::click(port_, mode, commandSlotsFor(mode, relay, {}));
        }
        return RemoteResult{};
    });
}

RemoteResult RemoteControl::allOff()
{
    return guarded([&] {
        Send::allOff(port_);
        return RemoteResult{};
    });
}

RemoteResult RemoteControl::press(int button, const void *holder)
{
    if (auto refused = checkButton(button))
        return *refused;
    held_.insert({holder, button});
    return guarded([&] {
        Send::press(port_, buttons_[size_t(button)].commands());
        return RemoteResult{};
    }, buttons_[size_t(button)].mode != UsbUirt);
}

RemoteResult RemoteControl::release(int button, const void *holder)
{
    if (auto refused = checkButton(button))
        return *refused;
    held_.remove({holder, button});
    return guarded([&] {
        Send::release(port_, buttons_[size_t(button)].commands());
        return RemoteResult{};
    }, buttons_[size_t(button)].mode != UsbUirt);
}

RemoteResult RemoteControl::click(int button)
{
    if (auto refused = checkButton(button))
        return *refused;
    const ButtonEntry &entry = buttons_[size_t(button)];
    return guarded([&] {
        Send::ButtonGesture gesture;
        gesture.press(button, port_, entry.commands());
        const std::optional<QString> notSent = gesture.click(button, port_, entry.mode, entry.commands());
        gesture.release(button, port_, entry.commands());
        if (notSent)
            return RemoteResult::failed(QStringLiteral("code infrarouge non émis : ") + *notSent);
        return RemoteResult{};
    }, entry.mode != UsbUirt);
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
