#include "common/Pause.h"

#include <QThread>

#include <mutex>

namespace zelvar {
namespace {
// The hook is set by the owner's thread and read by the ports' senders.
std::mutex hookMutex;

PauseHook &hook()
{
    static PauseHook h;
    return h;
}
} // namespace

void pauseMs(int milliseconds)
{
    if (milliseconds < 0)
        milliseconds = 0;
    PauseHook installed;
    {
        std::lock_guard lock(hookMutex);
        installed = hook();
    }
    if (installed) {
        installed(milliseconds);
        return;
    }
    QThread::msleep(static_cast<unsigned long>(milliseconds));
}

void setPauseHook(PauseHook h)
{
    std::lock_guard lock(hookMutex);
    hook() = std::move(h);
}

} // namespace zelvar
