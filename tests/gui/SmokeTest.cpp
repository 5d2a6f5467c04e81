#include <gtest/gtest.h>

#include <QWidget>

TEST(GuiSmoke, CreatesAWidgetOffscreen) {
  QWidget w;
  w.resize(200, 100);
  w.show();
  EXPECT_TRUE(w.isVisible());
}
