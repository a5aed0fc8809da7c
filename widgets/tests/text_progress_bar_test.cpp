// The text progress bar: what it shows, its colours, and when it repaints.

#include "widgets/text_progress_bar.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>

namespace {

class Bar : public testing::Test {
 protected:
  void SetUp() override {
    bar.resize(200, 20);
    bar.show();
    QApplication::processEvents();  // exposed: a repaint now really paints
  }
  QColor At(int x) { return bar.grab().toImage().pixelColor(x, 1); }

  widgets::TextProgressBar bar;
};

TEST_F(Bar, ShowsItsTextOrThePercentage) {
  bar.SetPos(42);
  EXPECT_EQ(bar.ShownText(), "42%");
  bar.SetText("Error");
  EXPECT_EQ(bar.ShownText(), "Error");
  bar.SetRange(0, 0);  // an empty range draws nothing and divides by nothing
  EXPECT_EQ(bar.ShownText(), "Error");
}

TEST_F(Bar, AnErrorStaysRedBeyondTheFilledPart) {
  const QColor filled = bar.palette().color(QPalette::Highlight);
  bar.SetUnfilledColour(Qt::red);
  bar.SetText("Error");
  bar.SetPos(50);
  EXPECT_EQ(At(2), filled);
  EXPECT_EQ(At(197), QColor(Qt::red));
}

TEST_F(Bar, RepaintsOnlyWhenTheFilledWidthChangesAndNotWithinTheCall) {
  bar.SetRange(0, 1000);
  bar.SetPos(100);  // 20 of 200 pixels
  QApplication::processEvents();
  const int paints = bar.PaintCount();
  bar.SetPos(102);  // 20.4 pixels: still 20, nothing to draw
  QApplication::processEvents();
  EXPECT_EQ(bar.PaintCount(), paints);
  EXPECT_EQ(bar.SetPos(110), 102);      // 22 pixels; the previous position comes back
  EXPECT_EQ(bar.PaintCount(), paints);  // the sender of a progress notice is not kept waiting
  QApplication::processEvents();
  EXPECT_EQ(bar.PaintCount(), paints + 1);
}

}  // namespace
