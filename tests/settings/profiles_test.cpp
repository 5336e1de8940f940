// The profile list and the Setup dialog's reads and writes of profiles.
#include "SettingsTestFolder.h"

#include <stdexcept>

#include "settings/Profiles.h"
#include "settings/TIniFile.h"

namespace {

ConnectionProfile Boxes(const std::string& name, const std::string& port = "21") {
  ConnectionProfile p;
  p.Name = name;
  p.HostName = "ftp." + name + ".example";
  p.UserName = "user";
  p.Password = " pw ";
  p.Account = "";
  p.Directory = "/pub";
  p.Port = port;
  p.Localdir = "/tmp";
  p.Anonymous = false;
  p.AutoSave = true;
  p.UseLogFile = false;
  p.IncludeDirs = true;
  p.IncludeSubDirs = false;
  p.UseLowerCase = true;
  p.InitializeCommand = "SITE UMASK 022";
  p.TransferType = 3;
  return p;
}

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "(no error)";
}

}  // namespace

using ProfilesTest = SettingsTest;

TEST_F(ProfilesTest, EmptyFileListsNothingAndWritesNextZero) {
  ProfileList list = LoadProfileList(Ini());
  EXPECT_TRUE(list.Names.empty());
  EXPECT_EQ(list.LastUsed, "");
  EXPECT_EQ(Contents(), "[index]\nnext=0\n");
}

TEST_F(ProfilesTest, AddWritesEverythingInOrder) {
  int32_t current = 2;
  AddProfile(Ini(), Boxes("home"), current);
  EXPECT_EQ(current, 3);
  EXPECT_EQ(Contents(),
            "[index]\nnext=1\nProfile0=home\n"
            "[LastUsed]\nNAME=home\n"
            "[Fixed]\nOK=1\n"
            "[home]\nHostName=ftp.home.example\nUserName=user\nPassword=\" pw \"\nAccount=\n"
            "Directory=/pub\nPort=21\nLocaldir=/tmp\nAnonymous=0\nAutoSave=1\nUseLogFile=0\n"
            "IncludeDirs=1\nIncludeSubDirs=0\nUseLowerCase=1\nInitializeCommand=SITE UMASK 022\n"
            "TransferType=3\n");

  ConnectionProfile loaded = LoadProfile(Ini(), "HOME", "/elsewhere", 1);
  EXPECT_EQ(loaded.Name, "HOME");
  EXPECT_EQ(loaded.HostName, "ftp.home.example");
  EXPECT_EQ(loaded.Password, " pw ");
  EXPECT_EQ(loaded.Port, "21");
  EXPECT_EQ(loaded.Localdir, "/tmp");
  EXPECT_FALSE(loaded.Anonymous);
  EXPECT_FALSE(loaded.UseLogFile);
  EXPECT_FALSE(loaded.IncludeSubDirs);
  EXPECT_EQ(loaded.InitializeCommand, "SITE UMASK 022");
  EXPECT_EQ(loaded.TransferType, 3);
}

TEST_F(ProfilesTest, NoRadioButtonKeepsCurrentTransferType) {
  int32_t current = 2;
  ConnectionProfile p = Boxes("a");
  p.TransferType = 0;
  SaveProfile(Ini(), p, current);
  EXPECT_EQ(current, 2);
  EXPECT_EQ(TIniFile(Ini()).ReadText("a", "TransferType", ""), "2");
}

TEST_F(ProfilesTest, LoadingAnUnknownProfileGivesTheDialogDefaults) {
  Put("[bare]\nHostName=h\nTransferType=abc\n");
  ConnectionProfile p = LoadProfile(Ini(), "bare", "/box/text", 2);
  EXPECT_EQ(p.HostName, "h");
  EXPECT_EQ(p.UserName, "");
  EXPECT_EQ(p.Port, "");
  EXPECT_EQ(p.Localdir, "/box/text");
  EXPECT_TRUE(p.Anonymous && p.AutoSave && p.UseLogFile);
  EXPECT_TRUE(p.IncludeDirs && p.IncludeSubDirs && p.UseLowerCase);
  EXPECT_EQ(p.TransferType, 2);
}

TEST_F(ProfilesTest, AddTwiceThenDelete) {
  int32_t current = 0;
  AddProfile(Ini(), Boxes("a"), current);
  AddProfile(Ini(), Boxes("b"), current);
  AddProfile(Ini(), Boxes("a"), current);  // listed a second time
  EXPECT_EQ(LoadProfileList(Ini()).Names, (std::vector<std::string>{"a", "b", "a"}));

  EXPECT_EQ(DeleteProfile(Ini(), "b"), std::optional<std::string>("a"));
  ProfileList list = LoadProfileList(Ini());
  EXPECT_EQ(list.Names, (std::vector<std::string>{"a", "a"}));
  EXPECT_EQ(list.LastUsed, "a");
  TIniFile ini(Ini());
  EXPECT_EQ(ini.ReadText("index", "Profile1", "gone"), "");  // emptied, not removed
  EXPECT_EQ(ini.ReadText("index", "next", ""), "3");
  EXPECT_EQ(ini.ReadText("b", "HostName", "gone"), "gone");

  // Only the first slot of "a" is emptied; the shared section is gone.
  EXPECT_EQ(DeleteProfile(Ini(), "a"), std::optional<std::string>(""));
  list = LoadProfileList(Ini());
  EXPECT_EQ(list.Names, (std::vector<std::string>{"a"}));
  EXPECT_EQ(list.LastUsed, "");
  EXPECT_EQ(ini.ReadText("a", "HostName", "gone"), "gone");

  // A new Add takes slot 3: slots are never reused.
  AddProfile(Ini(), Boxes("c"), current);
  EXPECT_EQ(ini.ReadText("index", "Profile3", ""), "c");
  EXPECT_EQ(ini.ReadText("index", "next", ""), "4");
}

TEST_F(ProfilesTest, DeleteComparesNamesExactlyAndHandlesUnlistedNames) {
  int32_t current = 0;
  AddProfile(Ini(), Boxes("Work"), current);
  SaveProfile(Ini(), Boxes("saved only"), current);  // a section but no slot
  EXPECT_EQ(LoadProfileList(Ini()).Names, (std::vector<std::string>{"Work"}));

  // "WORK" names the same section but no slot: the section goes, the slot stays.
  EXPECT_EQ(DeleteProfile(Ini(), "WORK"), std::optional<std::string>(""));
  TIniFile ini(Ini());
  EXPECT_EQ(ini.ReadText("Work", "HostName", "gone"), "gone");
  EXPECT_EQ(ini.ReadText("index", "Profile0", ""), "Work");
  EXPECT_EQ(ini.ReadText("LastUsed", "NAME", "x"), "");

  EXPECT_EQ(DeleteProfile(Ini(), "saved only"), std::optional<std::string>(""));
  EXPECT_EQ(ini.ReadText("saved only", "HostName", "gone"), "gone");
  EXPECT_EQ(LoadProfileList(Ini()).Names, (std::vector<std::string>{"Work"}));
}

TEST_F(ProfilesTest, DeleteWithoutNextOnlyRemovesTheSection) {
  Put("[LastUsed]\nNAME=p\n[p]\nHostName=h\n");
  EXPECT_EQ(DeleteProfile(Ini(), "p"), std::nullopt);
  EXPECT_EQ(Contents(), "[LastUsed]\nNAME=p\n");
}

TEST_F(ProfilesTest, ListSkipsEmptySlotsAndReadsSlotNextInclusive) {
  Put("[index]\nnext=2\nProfile0=zero\nProfile1=\nprofile2=two\nProfile3=beyond\n"
      "Profile02=padded\n[LastUsed]\nNAME=two\n");
  ProfileList list = LoadProfileList(Ini());
  EXPECT_EQ(list.Names, (std::vector<std::string>{"zero", "two"}));
  EXPECT_EQ(list.LastUsed, "two");
}

TEST_F(ProfilesTest, HugeNextDoesNotHang) {
  Put("[index]\nnext=2147483647\nProfile2147483647=last\nProfile5=five\n");
  EXPECT_EQ(LoadProfileList(Ini()).Names, (std::vector<std::string>{"five", "last"}));
  int32_t current = 0;
  AddProfile(Ini(), Boxes("x"), current);  // next + 1 does not wrap
  EXPECT_EQ(TIniFile(Ini()).ReadText("index", "next", ""), "2147483648");
  EXPECT_EQ(ErrorOf([&] { LoadProfileList(Ini()); }),
            "'2147483648' is not a valid integer value");
}

TEST_F(ProfilesTest, NonNumericNextEndsListAddAndDelete) {
  Put("[index]\nnext=many\n");
  const std::string error = "'many' is not a valid integer value";
  int32_t current = 0;
  EXPECT_EQ(ErrorOf([&] { LoadProfileList(Ini()); }), error);
  EXPECT_EQ(ErrorOf([&] { AddProfile(Ini(), Boxes("a"), current); }), error);
  EXPECT_EQ(ErrorOf([&] { DeleteProfile(Ini(), "a"); }), error);
  EXPECT_EQ(Contents(), "[index]\nnext=many\n");
}

TEST_F(ProfilesTest, NonNumericPortStopsAtThePortKey) {
  int32_t current = 1;
  ConnectionProfile p = Boxes("a", "twenty-one");
  p.TransferType = 2;
  EXPECT_EQ(ErrorOf([&] { AddProfile(Ini(), p, current); }),
            "'twenty-one' is not a valid integer value");
  EXPECT_EQ(current, 1);
  EXPECT_EQ(Contents(),
            "[index]\nnext=0\nProfile0=a\n"
            "[LastUsed]\nNAME=a\n"
            "[Fixed]\nOK=1\n"
            "[a]\nHostName=ftp.a.example\nUserName=user\nPassword=\" pw \"\nAccount=\n"
            "Directory=/pub\n");
  // The dialog does not list it; a reload would, since slot next is read too.
  EXPECT_EQ(LoadProfileList(Ini()).Names, (std::vector<std::string>{"a"}));

  // The next good Add takes the same slot.
  AddProfile(Ini(), Boxes("b"), current);
  EXPECT_EQ(LoadProfileList(Ini()).Names, (std::vector<std::string>{"b"}));

  // An empty box fails the same way, for Save and OK as well.
  EXPECT_EQ(ErrorOf([&] { SaveProfile(Ini(), Boxes("b", ""), current); }),
            "'' is not a valid integer value");
  EXPECT_EQ(ErrorOf([&] { SaveProfileOnOK(Ini(), Boxes("c", "x")); }),
            "'x' is not a valid integer value");
  TIniFile ini(Ini());
  EXPECT_EQ(ini.ReadText("c", "Directory", ""), "/pub");
  EXPECT_EQ(ini.ReadText("c", "Port", "none"), "none");
  EXPECT_EQ(ini.ReadText("LastUsed", "NAME", ""), "b");
}

TEST_F(ProfilesTest, SaveAndOKWriteTheirKeys) {
  int32_t current = 0;
  SaveProfile(Ini(), Boxes("s"), current);
  EXPECT_EQ(Contents(),
            "[s]\nHostName=ftp.s.example\nUserName=user\nPassword=\" pw \"\nAccount=\n"
            "Directory=/pub\nPort=21\nLocaldir=/tmp\nAnonymous=0\nAutoSave=1\nUseLogFile=0\n"
            "IncludeDirs=1\nIncludeSubDirs=0\nUseLowerCase=1\nInitializeCommand=SITE UMASK 022\n"
            "TransferType=3\n"
            "[LastUsed]\nNAME=s\n");

  Put("");
  SaveProfileOnOK(Ini(), Boxes("o", " 990 "));
  EXPECT_EQ(Contents(),
            "[o]\nHostName=ftp.o.example\nUserName=user\nPassword=\" pw \"\nAccount=\n"
            "Directory=/pub\nPort=990\nLocaldir=/tmp\nAnonymous=0\nAutoSave=1\nUseLogFile=0\n"
            "IncludeDirs=1\nIncludeSubDirs=0\nUseLowerCase=1\nInitializeCommand=SITE UMASK 022\n"
            "[Fixed]\nOK=1\n"
            "[LastUsed]\nNAME=o\n");
}
