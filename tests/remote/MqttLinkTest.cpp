#include "devices/ComPortPty.h"
#include "remote/MosquittoBroker.h"

#include "remote/MqttLink.h"

#include <gtest/gtest.h>

#include <vector>

using namespace zelvar;
using namespace zelvar::testing;

namespace {

MqttLink::Options options(quint16 port, const QByteArray &clientId)
{
    return {QStringLiteral("127.0.0.1"), port, {}, {}, {}, clientId, {}, {}};
}

} // namespace

// Another client taking our client id over as soon as we are connected does not make us
// reconnect every second: each loss so soon after connecting doubles the delay.
TEST(MqttLink, AClientIdTakenOverSoonAfterConnectingBacksOff)
{
    MosquittoBroker broker;
    ASSERT_TRUE(broker.problem().isEmpty()) << broker.problem().toStdString();
    MqttLink ours;
    MqttLink intruder;
    std::vector<int> delays;
    bool connected = false;
    QObject::connect(&ours, &MqttLink::connected, [&] { connected = true; });
    QObject::connect(&ours, &MqttLink::disconnected, [&](const QString &, int retryIn) { delays.push_back(retryIn); });
    ASSERT_TRUE(ours.start(options(broker.port(), "zelvar-repris")));
    ASSERT_TRUE(processEventsUntil([&] { return connected; }, 5000));
    ASSERT_TRUE(intruder.start(options(broker.port(), "zelvar-repris")));
    // Each takes the id back from the other in turn; ours loses it twice within 3 s.
    ASSERT_TRUE(processEventsUntil([&] { return delays.size() >= 2; }, 8000));
    EXPECT_EQ(delays[0], 1);
    EXPECT_EQ(delays[1], 2);
}

// The broker is asked to send no packet over 64 KB: a huge retained message never comes,
// the small one beside it does.
TEST(MqttLink, AHugeRetainedMessageIsNeverDelivered)
{
    MosquittoBroker broker;
    ASSERT_TRUE(broker.problem().isEmpty()) << broker.problem().toStdString();
    MqttTestClient other(broker.port());
    other.subscribe("essai/petit");
    other.publish("essai/enorme", QByteArray(100 * 1024, 'x'), true);
    other.publish("essai/petit", "ON", true);
    ASSERT_TRUE(other.waitFor([&] { return !other.messages.empty(); })); // both are on the broker

    MqttLink link;
    QList<QByteArray> topics;
    QObject::connect(&link, &MqttLink::connected, [&] { link.subscribe("essai/#"); });
    QObject::connect(&link, &MqttLink::message, [&](const QByteArray &topic, const QByteArray &, bool, bool) { topics << topic; });
    ASSERT_TRUE(link.start(options(broker.port(), "zelvar-paquets")));
    ASSERT_TRUE(processEventsUntil([&] { return topics.contains("essai/petit"); }, 5000));
    processEventsUntil([] { return false; }, 300);
    EXPECT_EQ(topics, QList<QByteArray>{"essai/petit"});
}
