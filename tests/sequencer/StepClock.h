#pragma once

#include "sequencer/PlaybackClock.h"

namespace zelvar::testing {

// Time stepped by the caller: each step() is one timeout of the playback clock.
class StepClock : public PlaybackClock
{
public:
    void start() override { active = true; }
    void stop() override { active = false; }
    bool isActive() const override { return active; }
    void step() { tick(); }
    bool active = false;
};

} // namespace zelvar::testing
