#include "common/Pause.h"
#include "devices/ComPort.h"
#include "devices/RelayCommand.h"
#include "devices/ComPortPty.h"
#include "devices/PortSender.h"
#include "sequencer/SequencePlayer.h"

#include "sequencer/StepClock.h"

#include <gtest/gtest.h>

#include <limits>

using namespace zelvar;
using zelvar::testing::StepClock;

namespace {

struct Track
{
    int code;
    std::vector<int> times;
};

// A panel of three Imp buttons on relays 1 to 3 and the board on a pseudo-terminal; every
// pause records what reached the board before it, "bytes|ms".
class SequencePlayerTest : public zelvar::testing::PortOnPty
{
protected:
    void SetUp() override
    {
        PortOnPty::SetUp();
        for (int relay = 1; relay <= 3; ++relay) {
            ButtonEntry entry;
            const CommandSlots commands = commandSlotsFor(Imp, relay, {});
            entry.mode = Imp;
            entry.pressCommand = commands.press;
            entry.releaseCommand = commands.release;
            entry.clickCommand = commands.click;
            entry.description = QStringLiteral("Relais %1").arg(relay);
            panel.push_back(entry);
        }
        setPauseHook([this](int ms) { wire << QString::fromLatin1(pty.drain(20)) + '|' + QString::number(ms); });
        auto owned = std::make_unique<StepClock>();
        clock = owned.get();
        player = std::make_unique<SequencePlayer>(state, [this] { return target; }, std::move(owned));
        QObject::connect(player.get(), &SequencePlayer::ticked, [this](int shown) { shownSeconds.push_back(shown); });
        QObject::connect(player.get(), &SequencePlayer::fired, [this](int track, int button, const QString &) {
            firings << QStringLiteral("%1:%2>%3").arg(state.PositionLecture).arg(track).arg(button);
        });
        QObject::connect(player.get(), &SequencePlayer::failed, [this](const QString &m) { failures << m; });
    }
    void TearDown() override
    {
        setPauseHook({});
        port.ClosePort();
        PortOnPty::TearDown();
    }
    void load(const std::vector<Track> &tracks, int loopTime = 0)
    {
        for (const Track &t : tracks) {
            state.AddPiste2().Code = t.code;
            for (int time : t.times)
                state.addBtn(state.trackCount(), time);
        }
        state.loopLeft = SequenceState::MargePiste + loopTime;
    }
    void run(int ticks)
    {
        // Each tick's firings are written, and told, before the next tick.
        for (int i = 0; i < ticks; ++i) {
            clock->step();
            port.sender().waitIdle();
        }
    }

    PanelButtons panel{ButtonEntry{}};
    PanelTarget target{&port, &panel};
    SequenceState state;
    StepClock *clock = nullptr;
    std::unique_ptr<SequencePlayer> player;
    std::vector<int> shownSeconds;
    QStringList firings; // "position:track>panel button"
    QStringList wire;
    QStringList failures;
};

} // namespace

TEST_F(SequencePlayerTest, TickFiresTracksAtTheirSeconds)
{
    struct Case
    {
        const char *name;
        std::vector<Track> tracks;
        int loopTime, ticks;
        std::vector<int> shown;
        QStringList firings;
        int from = 0;
    };
    constexpr int top = std::numeric_limits<int>::max();
    const Case cases[] = {
        {"button at second 3 fires on the third tick", {{1, {3}}}, 0, 3, {1, 2, 3}, {"3:1>1"}},
        {"button at second 0 never fires", {{1, {0}}}, 0, 3, {1, 2, 3}, {}},
        {"loop at 5 shows 5, resets and fires nothing", {{1, {5, 1}}}, 5, 7, {1, 2, 3, 4, 5, 1, 2},
         {"1:1>1", "1:1>1"}},
        {"loop at 0 never loops", {{2, {}}}, 0, 8, {1, 2, 3, 4, 5, 6, 7, 8}, {}},
        {"tracks in order, once per button", {{2, {2}}, {1, {2, 2}}}, 0, 2, {1, 2}, {"2:1>2", "2:2>1", "2:2>1"}},
        {"Off, absent and unselected actions fire nothing", {{0, {1}}, {4, {1}}, {-1, {1}}}, 0, 1, {1}, {}},
        {"the largest second fires once and the position rests there", {{1, {top}}}, 0, 3, {top, top, top},
         {"2147483647:1>1"}, top - 1},
    };
    setPauseHook([](int) {});
    port.OpenPort();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        state.AllDestroy();
        state.PositionLecture = c.from;
        shownSeconds.clear();
        firings.clear();
        load(c.tracks, c.loopTime);
        run(c.ticks);
        EXPECT_EQ(shownSeconds, c.shown);
        EXPECT_EQ(firings, c.firings);
    }
    EXPECT_TRUE(failures.isEmpty());
}

TEST_F(SequencePlayerTest, TwoTracksAtOneSecondGoOutInTrackOrderWithTheirPauses)
{
    port.OpenPort();
    load({{1, {1}}, {2, {1}}});
    run(1);
    EXPECT_EQ(wire, (QStringList{"S1N$#|100", "S1F$#|100", "S2N$#|100", "S2F$#|100"}));
    EXPECT_EQ(state.PisteEnCours, 2);
}

TEST_F(SequencePlayerTest, WithoutAPanelNothingFires)
{
    target = {};
    load({{1, {1}}});
    run(1);
    EXPECT_TRUE(firings.isEmpty());
    EXPECT_TRUE(failures.isEmpty());
}

TEST_F(SequencePlayerTest, PortErrorEndsTheTickAndPlaybackGoesOn)
{
    load({{1, {1, 2}}, {2, {1}}}); // the port is closed: the first firing raises
    run(2);
    EXPECT_EQ(failures.size(), 2);
    EXPECT_TRUE(firings.isEmpty());
    EXPECT_EQ(shownSeconds, (std::vector<int>{1, 2}));
}

TEST_F(SequencePlayerTest, PlayPauseAndStopFollowTheStateTable)
{
    struct Step
    {
        char press; // 'L' the play button, 'S' Stop, 'U' the up-down to 42
        const char *caption;
        int etat;
        bool playing;
    };
    const Step steps[] = {
        {'L', "Pause", 0, true},    // Idle -> Playing
        {'S', "", 1, false},        // Stopped while playing: idle again
        {'L', "Pause", 0, true},    // the next press plays
        {'L', "Lecture", 1, false}, // -> Paused, the clock stays off
        {'S', "", 1, false},        // Paused: unchanged
        {'L', "Pause", 0, true},    // a further press plays
        {'U', "", 0, true},
        {'L', "Lecture", 1, false},
    };
    for (const Step &s : steps) {
        QString caption;
        if (s.press == 'L')
            caption = player->Btn_LectureClick();
        else if (s.press == 'S')
            player->Btn_StopClick();
        else
            player->UAvanReculClick(42);
        EXPECT_EQ(caption, s.caption) << s.press;
        EXPECT_EQ(state.EtatLecture, s.etat) << s.press;
        EXPECT_EQ(player->isPlaying(), s.playing) << s.press;
    }
    EXPECT_EQ(state.PositionLecture, 42);
}

TEST_F(SequencePlayerTest, HoldingTheClockPausesTicksUntilTheActionEnds)
{
    player->Btn_LectureClick();
    player->holdClock([&] {
        EXPECT_FALSE(clock->active);
        EXPECT_TRUE(player->isPlaying());
    });
    EXPECT_TRUE(clock->active);

    // Stopped while held: playback does not come back afterwards.
    player->holdClock([&] { player->Btn_StopClick(); });
    EXPECT_FALSE(clock->active);
    EXPECT_FALSE(player->isPlaying());
}
