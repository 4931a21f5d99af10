#pragma once

#include <QtGlobal>

#include <optional>
#include <utility>

namespace zelvar {

// Tells the press that starts holding a key from the repeats of a key still held down.
//
// A held key repeats its press many times a second. The repeats come marked as such, or,
// on X11 when the toolkit did not see the pair arrive together, as a release immediately
// followed by a press of the same key with the same time stamp: the server stamps both
// halves of a repeat alike, while a finger needs far more than a millisecond to release and
// press again. A press of another key starts a hold of its own, even while the first key is
// still down.
class HeldKeys
{
public:
    struct Stroke
    {
        quint64 key = 0;       // the physical key, the same for its press and its release
        quint64 timestamp = 0; // the windowing system's time in milliseconds; 0 when unknown
        bool autoRepeat = false;
    };

    // Every key press and release, in the order they arrive. A press answers true when it
    // starts a hold and false when it repeats a key still held.
    bool press(const Stroke &stroke);
    void release(const Stroke &stroke);

private:
    // The last key event when it was a release: the first half of a repeat, until the event
    // after it tells.
    std::optional<Stroke> m_lastRelease;
};

} // namespace zelvar
