#include "scheduler/PortWaitingFirings.h"

#include <gtest/gtest.h>

using namespace zelvar;

// Firings that met a lost port: at the return those under a minute old are sent, the others
// missed; while it stays away each is missed once, when its minute is over; a row that fires
// again while it waits is still one firing.
TEST(PortWaitingFirings, SentWithinTheMinuteMissedAfterNeverDropped)
{
    const auto rows = [](const QList<PortWaitingFirings::Firing> &firings) {
        QList<int> out;
        for (const auto &f : firings)
            out << f.row;
        return out;
    };
    PortWaitingFirings waiting;
    waiting.add({1, 4, 0, QStringLiteral("a")});
    waiting.add({2, 5, 5'000, QStringLiteral("b")});
    waiting.add({1, 4, 8'000, QStringLiteral("a")});
    EXPECT_TRUE(waiting.takeExpired(59'999).isEmpty());
    EXPECT_EQ(rows(waiting.takeExpired(60'000)), QList<int>{1}) << "told once, and one firing";
    waiting.add({3, 4, 50'000, QStringLiteral("c")});
    QList<PortWaitingFirings::Firing> late;
    EXPECT_EQ(rows(waiting.takeOnReturn(65'000, &late)), QList<int>{3});
    EXPECT_EQ(rows(late), QList<int>{2});
    EXPECT_TRUE(waiting.isEmpty());
}
