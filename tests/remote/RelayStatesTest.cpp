#include "remote/RelayStates.h"

#include <QString>
#include <gtest/gtest.h>

using namespace zelvar;
using State = RelayStates::State;

namespace {

// Relays 1 to 3 as one letter each: N on, F off, ? unknown.
QString firstThree(const RelayStates &states)
{
    QString shown;
    for (int relay = 1; relay <= 3; ++relay)
        shown += states.state(relay) == State::On ? 'N' : states.state(relay) == State::Off ? 'F' : '?';
    return shown;
}

} // namespace

// Each text is learnt after the ones above it; "changed" tells only what moved.
TEST(RelayStates, FollowTheCommandsWrittenAndToggleOnlyWhatIsKnown)
{
    RelayStates states;
    QStringList changes;
    QObject::connect(&states, &RelayStates::changed, [&](int relay, State state) {
        changes << QStringLiteral("%1%2").arg(relay).arg(state == State::On ? 'N' : state == State::Off ? 'F' : '?');
    });
    struct Row { QByteArray text; QString after; QStringList changes; };
    const Row rows[] = {
        {"", "???", {}},
        {"S1T$#", "???", {}},                                    // toggle from unknown
        {"S1N$#S2F$#", "NF?", {"1N", "2F"}},
        {"S1T$#S2T$#", "FN?", {"1F", "2N"}},                     // toggle from on and from off
        {"S1F$#S2N$#", "FN?", {}},                               // what it was already
        {"S0N$#S17N$#0000 006D 0000 0001", "FN?", {}},           // no relay of the board
        {"S3N$#S3T$#S3T$#", "FNN", {"3N", "3F", "3N"}},          // in the order written
    };
    for (const Row &row : rows) {
        changes.clear();
        states.learn(row.text);
        EXPECT_EQ(firstThree(states), row.after) << row.text.constData();
        EXPECT_EQ(changes, row.changes) << row.text.constData();
    }
    EXPECT_EQ(states.state(0), State::Unknown);
    EXPECT_EQ(states.state(17), State::Unknown);
}
