#include "panel/HeldKeys.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace zelvar;

namespace {

// One key event: 'P' or 'R' (press, release), the key, the time stamp, and whether the
// toolkit marked it as a repeat.
struct Event
{
    char kind;
    quint64 key;
    quint64 timestamp;
    bool marked = false;
};

struct Case
{
    const char *what;
    std::vector<Event> events;
    std::vector<quint64> fired; // the keys whose presses start a hold, in order
};

constexpr quint64 A = 38, B = 56;

class HeldKeysTest : public ::testing::TestWithParam<Case>
{
};

} // namespace

TEST_P(HeldKeysTest, OnlyThePressThatStartsAHoldFires)
{
    HeldKeys keys;
    std::vector<quint64> fired;
    for (const Event &e : GetParam().events) {
        const HeldKeys::Stroke stroke{e.key, e.timestamp, e.marked};
        if (e.kind == 'P') {
            if (keys.press(stroke))
                fired.push_back(e.key);
        } else {
            keys.release(stroke);
        }
    }
    EXPECT_EQ(fired, GetParam().fired) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Strokes, HeldKeysTest,
    ::testing::Values(
        Case{"repeats marked by the toolkit",
             {{'P', A, 100}, {'R', A, 760, true}, {'P', A, 760, true}, {'R', A, 800, true},
              {'P', A, 800, true}, {'R', A, 2100}},
             {A}},
        Case{"repeats as unmarked release and press pairs of one time stamp",
             {{'P', A, 100}, {'R', A, 760}, {'P', A, 760}, {'R', A, 800}, {'P', A, 800}, {'R', A, 2100}},
             {A}},
        Case{"the key released and pressed again",
             {{'P', A, 100}, {'R', A, 200}, {'P', A, 201}, {'R', A, 300}},
             {A, A}},
        Case{"another key pressed while the first is held, both repeating",
             {{'P', A, 100}, {'R', A, 760}, {'P', A, 760}, {'P', B, 770}, {'R', B, 1430},
              {'P', B, 1430}, {'R', B, 1500}, {'R', A, 1600}},
             {A, B}},
        Case{"events without time stamps are never taken for pairs",
             {{'P', A, 0}, {'R', A, 0}, {'P', A, 0}, {'R', A, 0}},
             {A, A}},
        Case{"a repeat whose first press went elsewhere",
             {{'R', A, 760, true}, {'P', A, 760, true}},
             {}}));
