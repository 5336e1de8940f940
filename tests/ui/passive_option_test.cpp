// The Setup dialog's Passive mode box: its access key, its place in the tab
// order, and the profile key it is loaded from and stored to.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QTest>

#include "settings/TIniFile.h"
#include "support/RecordingUI.h"
#include "support/TempProgramDir.h"
#include "ui/LoginDLG.h"

namespace {

TEST(PassiveOption, KeyboardSaveOkAndReload) {
  TempProgramDir dir;
  RecordingUI boxes;
  int32_t transferType = 0;
  ConnectionProfile active;
  dir.WriteIni("[index]\nnext=1\nProfile0=p\n[LastUsed]\nNAME=p\n[p]\nHostName=h\nPort=21\n");
  auto passiveKey = [&] { return TIniFile(dir.IniPath()).ReadText("p", "Passive", "<absent>"); };
  {
    TLoginDLG d(nullptr, boxes, dir.IniPath(), transferType, active);
    // The access key clicks the box (after its short press animation); a key
    // shared with another control would only move the focus.
    auto altI = [&d] {
      const bool before = d.CheckBox7->isChecked();
      QTest::keyClick(&d, Qt::Key_I, Qt::AltModifier);
      for (int i = 0; i < 100 && d.CheckBox7->isChecked() == before; ++i) QTest::qWait(20);
      return d.CheckBox7->isChecked() != before;
    };
    d.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
    EXPECT_FALSE(d.CheckBox7->isChecked());
    // A profile that never had passive mode is saved as it was.
    QTest::mouseClick(d.ModifyBtn, Qt::LeftButton);
    EXPECT_EQ(passiveKey(), "<absent>");

    d.CheckBox3->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), d.CheckBox7);
    ASSERT_TRUE(altI());
    QTest::mouseClick(d.ModifyBtn, Qt::LeftButton);
    EXPECT_EQ(passiveKey(), "1");
    ASSERT_TRUE(altI());
    QTest::mouseClick(d.ModifyBtn, Qt::LeftButton);
    EXPECT_EQ(passiveKey(), "0");
    ASSERT_TRUE(altI());
    d.CheckBox3->setChecked(true);
    QTest::mouseClick(d.OKBtn, Qt::LeftButton);  // Auto Save Config: stored and applied
  }
  EXPECT_EQ(passiveKey(), "1");
  EXPECT_TRUE(active.Passive);
  TLoginDLG again(nullptr, boxes, dir.IniPath(), transferType, active);
  EXPECT_TRUE(again.CheckBox7->isChecked());
  EXPECT_TRUE(boxes.Boxes().empty());
}

}  // namespace
