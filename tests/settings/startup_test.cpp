// What start-up and the Options menu read from and write to the settings file.
#include "SettingsTestFolder.h"

#include <csignal>
#include <sys/resource.h>

#include "settings/Options.h"
#include "settings/SettingsNames.h"
#include "settings/Startup.h"

using StartupTest = SettingsTest;

TEST_F(StartupTest, NoFileGivesDefaultsAndWritesOnlyTheOptions) {
  EXPECT_TRUE(ReadConfiguredFlag(Ini()));
  EXPECT_FALSE(Exists(Ini()));

  StartupSettings s = ReadStartupSettings(Ini(), 0);
  EXPECT_TRUE(s.OptionDefaultsWritten);
  EXPECT_EQ(s.OptionDefaultsError, "");
  EXPECT_EQ(s.Options.DirSep, "0");
  EXPECT_EQ(s.Options.ViewSep, "1");
  EXPECT_EQ(s.Options.Editor, "xdg-open");
  EXPECT_EQ(Contents(), "[options]\nDirSep=0\nViewSep=1\nEditor=xdg-open\n");
  EXPECT_EQ(s.Profile.Name, "");
  EXPECT_EQ(s.Profile.HostName, "");
  EXPECT_EQ(s.Profile.Port, "");
  EXPECT_EQ(s.TransferType, 0);
  EXPECT_TRUE(s.LogEnabled);
  EXPECT_FALSE(s.Batch.IncludeDirs || s.Batch.IncludeSubDirs || s.Batch.UseLowerCase);
  EXPECT_TRUE(s.ConfiguredFlag);
}

TEST_F(StartupTest, DefaultsAreWrittenOnlyWhenAllThreeOptionsAreEmpty) {
  const std::string file = "[options]\nDirSep=\nEditor=vi\n";
  Put(file);
  StartupSettings s = ReadStartupSettings(Ini(), 0);
  EXPECT_FALSE(s.OptionDefaultsWritten);
  EXPECT_EQ(s.Options.DirSep, "");
  EXPECT_EQ(s.Options.ViewSep, "");
  EXPECT_EQ(s.Options.Editor, "vi");
  EXPECT_EQ(Contents(), file);

  Put("[OPTIONS]\ndirsep=\nVIEWSEP=\n");
  s = ReadStartupSettings(Ini(), 0);
  EXPECT_TRUE(s.OptionDefaultsWritten);
  EXPECT_EQ(Contents(), "[OPTIONS]\ndirsep=0\nVIEWSEP=1\nEditor=xdg-open\n");
}

TEST_F(StartupTest, LastUsedProfileWithStartupDefaults) {
  Put("[options]\nEditor=vi\n[LastUsed]\nNAME=Srv\n[fixed]\nok=0\n"
      "[srv]\nHostName=h\nPort=2121\nPassword=\" p \"\nTransferType=0x2\nUseLogFile=0\n"
      "Anonymous=1\nIncludeSubDirs=5\nInitializeCommand=SITE X\nLocaldir=/data\n");
  StartupSettings s = ReadStartupSettings(Ini(), 0);
  EXPECT_EQ(s.Profile.Name, "Srv");
  EXPECT_EQ(s.Profile.HostName, "h");
  EXPECT_EQ(s.Profile.Port, "2121");
  EXPECT_EQ(s.Profile.Password, " p ");
  EXPECT_EQ(s.Profile.Localdir, "/data");
  EXPECT_EQ(s.TransferType, 2);
  EXPECT_FALSE(s.LogEnabled);
  EXPECT_FALSE(s.Batch.IncludeDirs);  // absent: off at start-up, unlike the dialog
  EXPECT_TRUE(s.Batch.IncludeSubDirs);
  EXPECT_FALSE(s.Batch.UseLowerCase);
  EXPECT_EQ(s.Batch.InitializeCommand, "SITE X");
  EXPECT_FALSE(s.ConfiguredFlag);
  EXPECT_FALSE(ReadConfiguredFlag(Ini()));

  Put("[LastUsed]\nNAME=srv\n[srv]\nTransferType=abc\n[Fixed]\nOK=junk\n");
  s = ReadStartupSettings(Ini(), 0);
  EXPECT_EQ(s.TransferType, 0);
  EXPECT_TRUE(s.ConfiguredFlag);
}

TEST_F(StartupTest, RefusedDefaultsWriteIsReportedNotThrown) {
  ASSERT_EQ(::mkdir(Ini().c_str(), 0755), 0);  // the file's place is taken by a folder
  StartupSettings s = ReadStartupSettings(Ini(), 0);
  EXPECT_FALSE(s.OptionDefaultsWritten);
  EXPECT_EQ(s.OptionDefaultsError, "Unable to write to " + Ini());
  EXPECT_EQ(s.Options.ViewSep, "1");
}

TEST_F(StartupTest, OptionsMenuReadsAndWrites) {
  Put("[options]\nEditor=vi\n");
  EXPECT_EQ(ReadEditor(Ini()), "vi");
  EXPECT_TRUE(SeparateChecked(""));
  EXPECT_EQ(ToggledSeparateValue(""), "0");
  EXPECT_EQ(ToggledSeparateValue("2"), "0");
  EXPECT_EQ(ToggledSeparateValue("0"), "1");
  WriteDirSep(Ini(), "0");
  WriteViewSep(Ini(), "1");
  WriteEditor(Ini(), "");
  EXPECT_EQ(Contents(), "[options]\nEditor=\nDirSep=0\nViewSep=1\n");
  EXPECT_EQ(ReadEditor(Ini()), "");
}

TEST(SettingsPathTest, FileBesideTheProgram) {
  EXPECT_EQ(SettingsFilePath("/opt/tarnex/"), "/opt/tarnex/TARNEX.INI");
  EXPECT_EQ(SettingsFilePath("/opt/tarnex"), "/opt/tarnex/TARNEX.INI");
}
