#include "editors/PendingValues.h"

#include <gtest/gtest.h>

using namespace zelvar;

namespace {

struct Texts
{
    QByteArray first, second, third;
    bool operator==(const Texts &) const = default;
};

void PrintTo(const Texts &t, std::ostream *os)
{
    *os << '"' << t.first.constData() << "\" \"" << t.second.constData() << "\" \"" << t.third.constData() << '"';
}

Texts texts(const PendingValues &p)
{
    return {p.first, p.second, p.third};
}

// A mode chosen, then relay 3: what the test button would send on press, release and click.
TEST(PendingValues, EachModeSendsItsCommandsOnTheRelayChosen)
{
    struct Case
    {
        int mode;
        Texts beforeRelay;
        Texts afterRelay;
    };
    const Case cases[] = {
        {0, {}, {}},
        {1, {"S0N$#", "S0F$#", ""}, {"S3N$#", "S3F$#", ""}},
        {2, {"", "", "S0N$#"}, {"", "", "S3N$#"}},
        {3, {"", "", "S0F$#"}, {"", "", "S3F$#"}},
        {4, {"", "", "S0T$#"}, {"", "", "S3T$#"}},
        {5, {"", "", "0000 0001"}, {"", "", "0000 0002"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.mode);
        PendingValues p;
        p.relay = 9;
        p.prontoCode = QStringLiteral("0000 0001");
        p.modeChosen(c.mode);
        EXPECT_EQ(p.relay, 0);
        EXPECT_EQ(p.mode, c.mode);
        EXPECT_EQ(texts(p), c.beforeRelay);
        p.relayChosen(3, QStringLiteral("0000 0002"));
        EXPECT_EQ(texts(p), c.afterRelay);
    }
}

TEST(PendingValues, MacrosKeepsTheModeAndOffKeepsTheRelay)
{
    PendingValues p;
    p.modeChosen(2);
    p.relayChosen(5, {});
    p.relayChosen(0, {}); // "Off" in the list
    EXPECT_EQ(p.relay, 5);
    EXPECT_EQ(p.third, QByteArray("S5N$#"));
    p.modeChosen(6);
    EXPECT_EQ(p.mode, 2);
    EXPECT_EQ(texts(p), Texts{});
}

} // namespace
