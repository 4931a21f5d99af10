#include "panel/HeldKeys.h"

namespace zelvar {

bool HeldKeys::press(const Stroke &stroke)
{
    const std::optional<Stroke> before = std::exchange(m_lastRelease, std::nullopt);
    if (stroke.autoRepeat)
        return false;
    const bool secondHalfOfRepeat = before && before->key == stroke.key && stroke.timestamp != 0
                                    && before->timestamp == stroke.timestamp;
    return !secondHalfOfRepeat;
}

void HeldKeys::release(const Stroke &stroke)
{
    // A release marked as a repeat leaves the key held; its press follows, marked too.
    m_lastRelease = stroke.autoRepeat ? std::nullopt : std::optional<Stroke>(stroke);
}

} // namespace zelvar
