// The Setup dialog: loading, adding, saving and deleting profiles, the
// Anonymous Login and Include directories rules, OK and its Auto Save Config.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "settings/TIniFile.h"
#include "support/RecordingUI.h"
#include "support/TempProgramDir.h"
#include "ui/LoginDLG.h"

namespace {

constexpr const char* Absent = "<absent>";

class LoginDialogTest : public ::testing::Test {
protected:
  std::unique_ptr<TLoginDLG> Make() {
    return std::make_unique<TLoginDLG>(nullptr, boxes, dir.IniPath(), transferType, active);
  }
  std::string Read(const std::string& section, const std::string& key) const {
    return TIniFile(dir.IniPath()).ReadText(section, key, Absent);
  }
  static std::vector<std::string> List(const TLoginDLG& d) {
    std::vector<std::string> names;
    for (int i = 0; i < d.Profile->count(); ++i) names.push_back(d.Profile->itemText(i).toStdString());
    return names;
  }
  // Replaces the Profile box's text by typing, one keystroke at a time.
  static void TypeProfile(TLoginDLG& d, const QString& name) {
    d.Profile->lineEdit()->selectAll();
    QTest::keyClick(d.Profile->lineEdit(), Qt::Key_Delete);
    QTest::keyClicks(d.Profile->lineEdit(), name);
  }
  static void Type(QLineEdit* box, const QString& text) {
    box->clear();
    QTest::keyClicks(box, text);
  }

  TempProgramDir dir;  // also the current directory, restored afterwards
  RecordingUI boxes;
  int32_t transferType = 0;
  ConnectionProfile active;
};

// Two listed profiles; "named" has Anonymous Login off and a password.
const char* TwoProfiles =
    "[index]\nnext=2\nProfile0=anon\nProfile1=named\n"
    "[LastUsed]\nNAME=anon\n"
    "[anon]\nHostName=ftp.example.org\nUserName=stored\nAnonymous=1\nTransferType=1\n"
    "[named]\nHostName=files.local\nUserName=fred\nPassword=secret\nAnonymous=0\n"
    "IncludeDirs=0\nTransferType=3\n";

TEST_F(LoginDialogTest, SettingsWithoutProfilesShowTheDefaults) {
  dir.WriteIni("[options]\nDirSep=0\nViewSep=1\nEditor=NOTEPAD.EXE\n");
  auto d = Make();

  EXPECT_EQ(d->windowTitle(), "Setup");
  EXPECT_EQ(d->size(), QSize(371, 310));
  EXPECT_EQ(d->Profile->count(), 0);
  EXPECT_EQ(d->Profile->currentText(), "");
  for (QLineEdit* box : {d->HostName, d->Password, d->Account, d->Port, d->Directory, d->Edit2,
                         d->Edit1})
    EXPECT_EQ(box->text(), "") << box->objectName().toStdString();
  for (QCheckBox* box : {d->CheckBox1, d->CheckBox2, d->CheckBox3, d->CheckBox4, d->CheckBox5,
                         d->CheckBox6})
    EXPECT_TRUE(box->isChecked()) << box->objectName().toStdString();
  EXPECT_EQ(d->UserName->text(), "Anonymous");
  EXPECT_EQ(d->Label1->text(), "Email:");
  EXPECT_TRUE(d->CheckBox4->isEnabled());
  EXPECT_TRUE(d->rbBINARY->isChecked());
  EXPECT_EQ(Read("index", "next"), "0");
  EXPECT_TRUE(boxes.Boxes().empty());

  // Include directories governs Include Sub-Directories, whoever changes it.
  d->CheckBox2->setChecked(false);
  EXPECT_FALSE(d->CheckBox4->isEnabled());
  EXPECT_TRUE(d->CheckBox4->isChecked());
  d->CheckBox2->setChecked(true);
  EXPECT_TRUE(d->CheckBox4->isEnabled());
}

TEST_F(LoginDialogTest, LayoutFocusAndTabOrder) {
  auto d = Make();
  struct Place { const char* name; int left, top, width, height; };
  const Place places[] = {
      {"Profile", 70, 0, 155, 21},     {"HostName", 70, 24, 155, 21},
      {"UserName", 70, 48, 155, 21},   {"Password", 70, 72, 155, 21},
      {"Account", 70, 96, 155, 21},    {"AddBtn", 232, 8, 41, 27},
      {"ModifyBtn", 280, 8, 41, 27},   {"DeleteBtn", 328, 8, 41, 27},
      {"Port", 296, 40, 49, 21},       {"CheckBox1", 232, 64, 121, 17},
      {"CheckBox3", 232, 88, 121, 17}, {"GroupBox2", 0, 120, 369, 113},
      {"CheckBox2", 8, 16, 124, 17},   {"CheckBox4", 132, 16, 137, 17},
      {"CheckBox6", 8, 40, 81, 17},    {"CheckBox5", 132, 40, 145, 17},
      {"GroupBox3", 5, 64, 209, 41},   {"rbASCII", 8, 13, 57, 17},
      {"rbBINARY", 64, 13, 49, 17},    {"rbEBCDIC", 128, 13, 65, 17},
      {"Edit1", 220, 84, 140, 21},     {"GroupBox1", 0, 240, 289, 65},
      {"Directory", 86, 12, 185, 21},  {"Edit2", 86, 40, 185, 21},
      {"OKBtn", 296, 248, 73, 26},     {"CancelBtn", 296, 279, 73, 27},
  };
  for (const Place& p : places) {
    auto* w = d->findChild<QWidget*>(p.name);
    ASSERT_NE(w, nullptr) << p.name;
    EXPECT_EQ(w->pos(), QPoint(p.left, p.top)) << p.name;
    EXPECT_GE(w->width(), p.width) << p.name;
    EXPECT_GE(w->height(), p.height) << p.name;
  }
  EXPECT_EQ(d->GroupBox2->title(), "Tarnex drag && drop Options");
  EXPECT_EQ(d->Label6->buddy(), d->Port);
  EXPECT_EQ(d->Label7->buddy(), d->Directory);
  EXPECT_EQ(d->Label8->buddy(), d->Edit2);

  d->show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(d.get()));
  ASSERT_TRUE(d->Profile->hasFocus());
  const std::vector<QWidget*> order = {
      d->HostName,  d->UserName,  d->Password, d->Account,   d->Port,      d->CheckBox1,
      d->CheckBox3, d->CheckBox2, d->CheckBox4, d->CheckBox6, d->CheckBox5, d->GroupBox3,
      d->Edit1,     d->Directory, d->Edit2,     d->AddBtn,    d->ModifyBtn, d->DeleteBtn,
      d->OKBtn,     d->CancelBtn, d->Profile};
  for (QWidget* expected : order) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    // The transfer mode buttons are one stop; the arrow keys move among them.
    if (expected == d->GroupBox3) {
      EXPECT_TRUE(d->GroupBox3->isAncestorOf(QApplication::focusWidget()));
      continue;
    }
    ASSERT_EQ(QApplication::focusWidget(), expected)
        << expected->objectName().toStdString() << " got "
        << QApplication::focusWidget()->objectName().toStdString();
  }
}

TEST_F(LoginDialogTest, AnonymousLoginFollowsTheChosenProfile) {
  dir.WriteIni(TwoProfiles);
  auto d = Make();
  EXPECT_EQ(List(*d), (std::vector<std::string>{"anon", "named"}));
  EXPECT_EQ(d->Profile->currentText(), "anon");
  // Turned on while loading: "Anonymous" replaces the stored user name.
  EXPECT_EQ(d->UserName->text(), "Anonymous");
  EXPECT_EQ(d->HostName->text(), "ftp.example.org");
  EXPECT_TRUE(d->rbASCII->isChecked());
  EXPECT_EQ(transferType, 1);

  d->Profile->setCurrentIndex(1);  // chosen from the list
  EXPECT_FALSE(d->CheckBox1->isChecked());
  EXPECT_EQ(d->Label1->text(), "Password.");
  EXPECT_EQ(d->UserName->text(), "fred");
  EXPECT_EQ(d->Password->text(), "secret");
  EXPECT_EQ(d->Password->displayText(), "******");
  EXPECT_FALSE(d->CheckBox2->isChecked());
  EXPECT_FALSE(d->CheckBox4->isEnabled());
  EXPECT_TRUE(d->rbEBCDIC->isChecked());
  EXPECT_EQ(transferType, 3);

  // Ticked by hand: e-mail entry, the password shown as typed.
  d->CheckBox1->setChecked(true);
  EXPECT_EQ(d->Label1->text(), "Email:");
  EXPECT_EQ(d->UserName->text(), "Anonymous");
  EXPECT_EQ(d->Password->displayText(), "secret");

  // Already on when a profile with Anonymous Login loads: its user name stays.
  d->Profile->setCurrentIndex(0);
  EXPECT_EQ(d->UserName->text(), "stored");
  EXPECT_EQ(d->Label1->text(), "Email:");
}

TEST_F(LoginDialogTest, TypingANewNameEmptiesTheBoxesButTheLocalDirectory) {
  dir.WriteIni(
      "[index]\nnext=1\nProfile0=work\n[LastUsed]\nNAME=work\n"
      "[work]\nHostName=h\nUserName=u\nPassword=p\nAccount=a\nDirectory=/pub\nPort=21\n"
      "Localdir=/tmp\nAnonymous=0\nAutoSave=0\nUseLogFile=0\nIncludeDirs=0\n"
      "IncludeSubDirs=0\nUseLowerCase=0\nInitializeCommand=SITE X\nTransferType=3\n");
  auto d = Make();
  d->show();
  ASSERT_EQ(d->HostName->text(), "h");
  ASSERT_FALSE(d->CheckBox3->isChecked());

  TypeProfile(*d, "work2");
  EXPECT_EQ(d->Profile->currentText(), "work2");
  for (QLineEdit* box : {d->HostName, d->Password, d->Account, d->Port, d->Directory, d->Edit1})
    EXPECT_EQ(box->text(), "") << box->objectName().toStdString();
  EXPECT_EQ(d->UserName->text(), "Anonymous");
  EXPECT_EQ(d->Edit2->text(), "/tmp");
  for (QCheckBox* box : {d->CheckBox1, d->CheckBox2, d->CheckBox3, d->CheckBox4, d->CheckBox5,
                         d->CheckBox6})
    EXPECT_TRUE(box->isChecked()) << box->objectName().toStdString();
  EXPECT_TRUE(d->rbEBCDIC->isChecked());
  EXPECT_EQ(transferType, 3);
  EXPECT_EQ(List(*d), std::vector<std::string>{"work"});  // typing adds nothing

  // Backspacing to the stored name loads it again.
  QTest::keyClick(d->Profile->lineEdit(), Qt::Key_Backspace);
  EXPECT_EQ(d->HostName->text(), "h");
  EXPECT_EQ(d->UserName->text(), "u");
}

TEST_F(LoginDialogTest, AddTwiceThenDeleteEmptiesTheFirstSlot) {
  auto d = Make();
  TypeProfile(*d, "alpha");
  Type(d->HostName, "alpha.example");
  Type(d->Port, "21");
  d->rbASCII->setChecked(true);
  QTest::mouseClick(d->AddBtn, Qt::LeftButton);
  EXPECT_EQ(List(*d), std::vector<std::string>{"alpha"});
  EXPECT_EQ(Read("index", "next"), "1");
  EXPECT_EQ(Read("index", "Profile0"), "alpha");
  EXPECT_EQ(Read("LastUsed", "NAME"), "alpha");
  EXPECT_EQ(Read("Fixed", "OK"), "1");
  EXPECT_EQ(Read("alpha", "HostName"), "alpha.example");
  EXPECT_EQ(Read("alpha", "TransferType"), "1");
  EXPECT_EQ(transferType, 1);

  QTest::mouseClick(d->AddBtn, Qt::LeftButton);
  EXPECT_EQ(List(*d), (std::vector<std::string>{"alpha", "alpha"}));
  EXPECT_EQ(Read("index", "next"), "2");
  EXPECT_EQ(Read("index", "Profile1"), "alpha");
  EXPECT_EQ(d->Profile->currentText(), "alpha");
  EXPECT_EQ(d->HostName->text(), "alpha.example");

  QTest::mouseClick(d->DeleteBtn, Qt::LeftButton);
  EXPECT_EQ(Read("index", "Profile0"), "");
  EXPECT_EQ(Read("index", "Profile1"), "alpha");
  EXPECT_EQ(Read("index", "next"), "2");
  EXPECT_EQ(Read("alpha", "HostName"), Absent);
  // Slot 0 has no slot before it: nothing is selected after the reload.
  EXPECT_EQ(Read("LastUsed", "NAME"), "");
  EXPECT_EQ(List(*d), std::vector<std::string>{"alpha"});
  EXPECT_EQ(d->Profile->currentText(), "");
  EXPECT_EQ(d->HostName->text(), "");
  EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(LoginDialogTest, DeleteSelectsTheProfileBeforeOrLeavesSlotsOfUnlistedNames) {
  dir.WriteIni(TwoProfiles + std::string("[ghost]\nHostName=g\n"));
  auto d = Make();

  // A name no slot holds: its section goes, the slots stay.
  TypeProfile(*d, "ghost");
  ASSERT_EQ(d->HostName->text(), "g");
  QTest::mouseClick(d->DeleteBtn, Qt::LeftButton);
  EXPECT_EQ(Read("ghost", "HostName"), Absent);
  EXPECT_EQ(Read("LastUsed", "NAME"), "");
  EXPECT_EQ(Read("index", "Profile0"), "anon");
  EXPECT_EQ(Read("index", "Profile1"), "named");
  EXPECT_EQ(List(*d), (std::vector<std::string>{"anon", "named"}));
  EXPECT_EQ(d->Profile->currentText(), "");

  // Slot 1: the profile of slot 0 becomes the last used and is shown.
  d->Profile->setCurrentIndex(1);
  QTest::mouseClick(d->DeleteBtn, Qt::LeftButton);
  EXPECT_EQ(Read("index", "Profile1"), "");
  EXPECT_EQ(Read("LastUsed", "NAME"), "anon");
  EXPECT_EQ(List(*d), std::vector<std::string>{"anon"});
  EXPECT_EQ(d->Profile->currentText(), "anon");
  EXPECT_EQ(d->HostName->text(), "ftp.example.org");
}

TEST_F(LoginDialogTest, BadPortStopsAddAtThePortKeyAndTheDialogGoesOn) {
  auto d = Make();
  d->show();
  TypeProfile(*d, "bad");
  Type(d->HostName, "host");
  Type(d->Port, "abc");
  QTest::mouseClick(d->AddBtn, Qt::LeftButton);

  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, "'abc' is not a valid integer value");
  EXPECT_EQ(boxes.Boxes()[0].icon, BoxIcon::Critical);
  EXPECT_TRUE(d->isVisible());
  EXPECT_EQ(Read("index", "Profile0"), "bad");
  EXPECT_EQ(Read("LastUsed", "NAME"), "bad");
  EXPECT_EQ(Read("Fixed", "OK"), "1");
  EXPECT_EQ(Read("bad", "Directory"), "");
  EXPECT_EQ(Read("bad", "Port"), Absent);
  EXPECT_EQ(Read("bad", "Localdir"), Absent);
  EXPECT_EQ(Read("index", "next"), "0");
  EXPECT_TRUE(List(*d).empty());

  // Corrected, the next Add takes the same slot.
  Type(d->Port, "2121");
  QTest::mouseClick(d->AddBtn, Qt::LeftButton);
  EXPECT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(Read("index", "next"), "1");
  EXPECT_EQ(Read("bad", "Port"), "2121");
  EXPECT_EQ(List(*d), std::vector<std::string>{"bad"});
}

TEST_F(LoginDialogTest, SaveStoresTheTransferTypeAndOKDoesNot) {
  dir.WriteIni("[index]\nnext=1\nProfile0=p\n[LastUsed]\nNAME=p\n[p]\nPort=21\n");
  transferType = 2;
  {
    auto d = Make();
    d->show();
    d->rbASCII->setChecked(true);
    QTest::mouseClick(d->OKBtn, Qt::LeftButton);
    EXPECT_EQ(d->result(), QDialog::Accepted);
    EXPECT_EQ(Read("p", "TransferType"), Absent);
    EXPECT_EQ(Read("p", "Anonymous"), "1");
    EXPECT_EQ(transferType, 2);
  }
  auto d = Make();
  TypeProfile(*d, "q");  // saved under a name never added: not listed
  d->rbASCII->setChecked(true);
  Type(d->HostName, "saved.example");
  Type(d->Port, "21");
  QTest::mouseClick(d->ModifyBtn, Qt::LeftButton);
  EXPECT_EQ(Read("q", "TransferType"), "1");
  EXPECT_EQ(Read("LastUsed", "NAME"), "q");
  EXPECT_EQ(Read("index", "next"), "1");
  EXPECT_EQ(List(*d), std::vector<std::string>{"p"});
  EXPECT_EQ(transferType, 1);
}

TEST_F(LoginDialogTest, OKWithoutAutoSaveChangesNothing) {
  dir.WriteIni(
      "[index]\nnext=1\nProfile0=p\n[LastUsed]\nNAME=p\n"
      "[p]\nHostName=h\nPort=21\nAutoSave=0\nLocaldir=sub\n");
  std::filesystem::create_directory(dir.Path() / "sub");
  const std::string before = dir.ReadIni();
  const auto cwd = std::filesystem::current_path();
  auto d = Make();
  d->show();
  Type(d->HostName, "edited");
  Type(d->Port, "not a number");
  QTest::mouseClick(d->OKBtn, Qt::LeftButton);
  EXPECT_EQ(d->result(), QDialog::Accepted);
  EXPECT_FALSE(d->isVisible());
  EXPECT_EQ(dir.ReadIni(), before);
  EXPECT_EQ(active.HostName, "");
  EXPECT_EQ(std::filesystem::current_path(), cwd);
  EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(LoginDialogTest, OKWithAutoSaveStoresCopiesAndEntersTheLocalDirectory) {
  const std::string sub = dir.Dir() + "local dir";
  std::filesystem::create_directory(sub);
  dir.WriteIni("[index]\nnext=1\nProfile0=p\n[LastUsed]\nNAME=p\n[p]\nAnonymous=0\n");
  active.InitializeCommand = "kept";
  auto d = Make();
  d->show();
  Type(d->HostName, "h.example");
  Type(d->UserName, "me");
  Type(d->Password, "pw");
  Type(d->Account, "acct");
  Type(d->Directory, "/pub");
  Type(d->Port, "2121");
  Type(d->Edit2, QString::fromStdString(sub));
  QTest::mouseClick(d->OKBtn, Qt::LeftButton);

  EXPECT_EQ(d->result(), QDialog::Accepted);
  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_EQ(active.Name, "p");
  EXPECT_EQ(active.HostName, "h.example");
  EXPECT_EQ(active.UserName, "me");
  EXPECT_EQ(active.Password, "pw");
  EXPECT_EQ(active.Account, "acct");
  EXPECT_EQ(active.Directory, "/pub");
  EXPECT_EQ(active.Port, "2121");
  EXPECT_EQ(active.Localdir, sub);
  EXPECT_EQ(active.InitializeCommand, "kept");
  EXPECT_EQ(std::filesystem::current_path(), std::filesystem::path(sub));
  EXPECT_EQ(Read("p", "Port"), "2121");
  EXPECT_EQ(Read("p", "Localdir"), sub);
  EXPECT_EQ(Read("Fixed", "OK"), "1");
  std::filesystem::current_path(dir.Path());

  // A local directory that cannot be entered: saved and copied all the same.
  auto again = Make();
  again->show();
  Type(again->Edit2, "/no/such/folder");
  QTest::mouseClick(again->OKBtn, Qt::LeftButton);
  EXPECT_EQ(again->result(), QDialog::Accepted);
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, "Cannot find directory");
  EXPECT_EQ(boxes.Boxes()[0].caption, "Warning");
  EXPECT_EQ(boxes.Boxes()[0].icon, BoxIcon::Warning);
  EXPECT_EQ(boxes.Boxes()[0].buttons, unsigned{BoxOK});
  EXPECT_EQ(active.Localdir, "/no/such/folder");
  EXPECT_EQ(Read("p", "Localdir"), "/no/such/folder");
  EXPECT_EQ(std::filesystem::current_path(), dir.Path());

  // A bad port ends the handler with an error box, yet OK still closes.
  auto third = Make();
  third->show();
  Type(third->Port, "");
  Type(third->HostName, "other");
  QTest::mouseClick(third->OKBtn, Qt::LeftButton);
  EXPECT_EQ(third->result(), QDialog::Accepted);
  EXPECT_FALSE(third->isVisible());
  ASSERT_EQ(boxes.Boxes().size(), 2u);
  EXPECT_EQ(boxes.Boxes()[1].text, "'' is not a valid integer value");
  EXPECT_EQ(active.HostName, "h.example");
}

TEST_F(LoginDialogTest, EnterAcceptsEscapeRejects) {
  dir.WriteIni(TwoProfiles);
  auto run = [&](Qt::Key key) {
    auto d = Make();
    QTimer::singleShot(0, [&] {
      if (!QTest::qWaitForWindowActive(d.get())) {
        ADD_FAILURE() << "the dialog never got the focus";
        d->reject();
        return;
      }
      QTest::keyClick(QApplication::focusWidget(), key);
    });
    const int result = d->exec();
    EXPECT_EQ(List(*d).size(), 2u);  // Enter in the Profile box adds nothing
    return result;
  };
  EXPECT_EQ(run(Qt::Key_Return), QDialog::Accepted);
  EXPECT_EQ(run(Qt::Key_Escape), QDialog::Rejected);
}

}  // namespace
