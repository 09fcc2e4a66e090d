#include <gtest/gtest.h>

#include <QStringList>

#include "Quorvel/QVFNotificationCenter.h"

// Observers see the names and senders they asked for, in the order added, and
// one removed during a delivery is not called again.
TEST(QVFNotificationCenter, DeliversByNameAndSenderAndStopsRemovedObservers) {
    QVFNotificationCenter center;
    int sender = 0;
    int otherSender = 0;
    QStringList seen;
    QVFNotificationCenter::Token second = 0;
    center.addObserver("Ping", &sender, [&](const QVFNotification& n) {
        seen.append("first " + n.userInfo.value("n").toString());
        center.removeObserver(second);
    });
    second =
        center.addObserver("Ping", nullptr, [&](const QVFNotification&) { seen.append("second"); });
    center.addObserver({}, nullptr,
                       [&](const QVFNotification& n) { seen.append("any " + n.name); });

    center.postNotification("Ping", &otherSender);
    center.postNotification("Ping", &sender, {{"n", 1}});
    center.postNotification("Pong", &sender);

    EXPECT_EQ(seen, QStringList({"second", "any Ping", "first 1", "any Ping", "any Pong"}));
}
