// The progress dialog: its fixed look and what the transfer routines set.
#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>

#include "ui/MeterDLG.h"

namespace {

TEST(ProgressDialog, StartsHiddenWithItsCaptionAndControls) {
  TMeterDLG meter;
  EXPECT_FALSE(meter.isVisible());
  EXPECT_FALSE(meter.ProgressVisible());
  EXPECT_EQ(meter.windowTitle(), "Status");
  EXPECT_EQ(meter.size(), QSize(210, 47));

  const Qt::WindowFlags flags = meter.windowFlags();
  EXPECT_FALSE(flags.testFlag(Qt::WindowCloseButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowSystemMenuHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));

  auto* gauge = meter.findChild<QProgressBar*>("Gauge1");
  ASSERT_NE(gauge, nullptr);
  EXPECT_EQ(gauge->minimum(), 0);
  EXPECT_EQ(gauge->maximum(), 100);
  EXPECT_EQ(gauge->geometry(), QRect(8, 8, 193, 17));
  auto* label = meter.findChild<QLabel*>("Label1");
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text(), "Status:");
  auto* status = meter.findChild<QLabel*>("StatusLabel");
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(status->text(), "Sending File");
  EXPECT_EQ(status->geometry().right(), meter.width() - 5);  // reaches the right edge
}

TEST(ProgressDialog, ShowSetHideAndRepaint) {
  TMeterDLG meter;
  meter.ShowProgressDialog();
  EXPECT_TRUE(meter.ProgressVisible());

  meter.SetProgress(51, "51% Complete");
  EXPECT_EQ(meter.ProgressPosition(), 51);
  EXPECT_EQ(meter.windowTitle(), "51% Complete");

  // More bytes than announced: the caption says so, the gauge stops at full.
  meter.SetProgress(150, "150% Complete");
  EXPECT_EQ(meter.ProgressPosition(), 100);
  EXPECT_EQ(meter.windowTitle(), "150% Complete");
  meter.SetProgress(-3, "-3% Complete");
  EXPECT_EQ(meter.ProgressPosition(), 0);

  const int before = meter.RepaintCount();
  meter.RepaintProgress();
  EXPECT_EQ(meter.RepaintCount(), before + 1);

  meter.SetStatusText("Retrying to Send file: r\xE9sum\xE9.txt");
  EXPECT_EQ(meter.StatusText(), "Retrying to Send file: r\xE9sum\xE9.txt");

  meter.HideProgress();
  EXPECT_FALSE(meter.ProgressVisible());
}

}  // namespace
