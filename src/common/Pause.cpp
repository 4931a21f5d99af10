#include "common/Pause.h"

#include <QThread>

namespace zelvar {
namespace {
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
    if (hook()) {
        hook()(milliseconds);
        return;
    }
    QThread::msleep(static_cast<unsigned long>(milliseconds));
}

void setPauseHook(PauseHook h)
{
    hook() = std::move(h);
}

} // namespace zelvar
