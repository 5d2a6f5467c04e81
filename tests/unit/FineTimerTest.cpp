#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTest>

#include "net/FineTimer.h"

namespace quillora {
namespace {

// Sub-millisecond waits fire once and not before their time; a wait that ran out while the event
// loop was busy and was then started again fires at its new time, and a stopped one never.
TEST(FineTimer, FiresOnceAtItsTimeAndAStaleExpiryNeverFiresEarly) {
  FineTimer timer;
  int fired = 0;
  QElapsedTimer clock;
  qint64 fired_at_us = -1;
  QObject::connect(&timer, &FineTimer::timeout, [&] {
    ++fired;
    fired_at_us = clock.nsecsElapsed() / 1000;
  });

  clock.start();
  timer.Start(300);
  ASSERT_TRUE(QTest::qWaitFor([&] { return fired > 0; }, 5000));
  EXPECT_GE(fired_at_us, 300);
  QTest::qWait(20);
  EXPECT_EQ(fired, 1);
  EXPECT_FALSE(timer.Active());

  // Runs out while nothing reads it, then is moved 200 ms on.
  timer.Start(100);
  QElapsedTimer busy;
  busy.start();
  while (busy.nsecsElapsed() < 3'000'000) {
  }
  clock.restart();
  timer.Start(200'000);
  QTest::qWait(50);
  EXPECT_EQ(fired, 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return fired > 1; }, 5000));
  EXPECT_GE(fired_at_us, 200'000);

  timer.Start(1000);
  timer.Stop();
  QTest::qWait(30);
  EXPECT_EQ(fired, 2);
}

}  // namespace
}  // namespace quillora
