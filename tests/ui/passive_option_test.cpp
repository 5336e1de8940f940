// The Setup dialog's Passive mode box: its access key and place in the tab
// order, the profile key it is stored to and loaded from.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QTest>

#include "settings/TIniFile.h"
#include "support/RecordingUI.h"
#include "support/TempProgramDir.h"
#include "ui/LoginDLG.h"

TEST(PassiveOption, KeyboardSaveOkAndReload) {
  TempProgramDir dir;
  RecordingUI boxes;
  int32_t transferType = 0;
  ConnectionProfile active;
  dir.WriteIni("[index]\nnext=1\nProfile0=p\n[LastUsed]\nNAME=p\n[p]\nHostName=h\nPort=21\n");
  auto key = [&] { return TIniFile(dir.IniPath()).ReadText("p", "Passive", "absent"); };
  {
    TLoginDLG d(nullptr, boxes, dir.IniPath(), transferType, active);
    d.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
    QTest::mouseClick(d.ModifyBtn, Qt::LeftButton);
    EXPECT_EQ(key(), "absent");  // a profile without passive mode is saved as it was
    d.CheckBox3->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), d.CheckBox7);
    // The access key clicks the box after its press animation; a key shared
    // with another control would only move the focus.
    QTest::keyClick(&d, Qt::Key_I, Qt::AltModifier);
    for (int i = 0; i < 100 && !d.CheckBox7->isChecked(); ++i) QTest::qWait(20);
    QTest::mouseClick(d.ModifyBtn, Qt::LeftButton);
    EXPECT_EQ(key(), "1");
    d.CheckBox3->setChecked(true);
    QTest::mouseClick(d.OKBtn, Qt::LeftButton);  // Auto Save Config: stored and applied
  }
  EXPECT_TRUE(active.Passive);
  TLoginDLG again(nullptr, boxes, dir.IniPath(), transferType, active);
  EXPECT_TRUE(again.CheckBox7->isChecked());
  EXPECT_TRUE(boxes.Boxes().empty());
}
