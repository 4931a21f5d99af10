#include "scheduler/PortWaitingFirings.h"

#include <gtest/gtest.h>

using namespace zelvar;

namespace {

QList<int> rows(const QList<PortWaitingFirings::Firing> &firings)
{
    QList<int> out;
    for (const auto &f : firings)
        out << f.row;
    return out;
}

} // namespace

// Firings that met a lost port: at the return, those under a minute old are sent in their
// order and the others missed; while the port stays away, each is missed once its minute
// is over; a row that fires again while it waits is still one firing.
TEST(PortWaitingFirings, SentWithinTheMinuteMissedAfterNeverDropped)
{
    struct Case
    {
        const char *name;
        qint64 returnAt;
        QList<int> sent;
        QList<int> missed;
    };
    const Case cases[] = {
        {"back at once", 10'000, {1, 2, 3}, {}},
        {"row 1 just under its minute", 59'999, {1, 2, 3}, {}},
        {"row 1 at its minute", 60'000, {2, 3}, {1}},
        {"all too old", 200'000, {}, {1, 2, 3}},
    };
    for (const Case &c : cases) {
        PortWaitingFirings waiting;
        waiting.add({1, 4, 0, QStringLiteral("a")});
        waiting.add({2, 5, 5'000, QStringLiteral("b")});
        waiting.add({1, 4, 8'000, QStringLiteral("a")}); // the same row again: still one
        waiting.add({3, 4, 9'000, QStringLiteral("c")});
        QList<PortWaitingFirings::Firing> missed;
        EXPECT_EQ(rows(waiting.takeOnReturn(c.returnAt, &missed)), c.sent) << c.name;
        EXPECT_EQ(rows(missed), c.missed) << c.name;
        EXPECT_TRUE(waiting.isEmpty()) << c.name;
    }

    PortWaitingFirings waiting;
    waiting.add({1, 4, 0, QStringLiteral("a")});
    waiting.add({2, 5, 30'000, QStringLiteral("b")});
    EXPECT_TRUE(waiting.takeExpired(59'999).isEmpty());
    EXPECT_EQ(rows(waiting.takeExpired(60'000)), QList<int>{1});
    EXPECT_TRUE(waiting.takeExpired(61'000).isEmpty()) << "told once";
    EXPECT_EQ(rows(waiting.takeExpired(90'000)), QList<int>{2});
    EXPECT_TRUE(waiting.isEmpty());
}
