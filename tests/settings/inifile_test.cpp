// TIniFile: how values are found, read, written and removed.
#include "SettingsTestFolder.h"

#include <stdexcept>

#include "settings/TIniFile.h"

using IniFileTest = SettingsTest;

TEST_F(IniFileTest, AbsentFileReadsDefaultsAndIsNotCreated) {
  TIniFile ini(Ini());
  EXPECT_EQ(ini.ReadText("options", "Editor", "dflt"), "dflt");
  EXPECT_EQ(ini.ReadNumber("index", "next", -7), -7);
  EXPECT_TRUE(ini.ReadFlag("Fixed", "OK", true));
  EXPECT_FALSE(ini.ReadFlag("Fixed", "OK", false));
  EXPECT_TRUE(ini.ReadSection("index").empty());
  ini.ClearSection("options");
  EXPECT_FALSE(Exists(Ini()));
}

TEST_F(IniFileTest, AbsentSectionOrKeyReadsDefault) {
  Put("[a]\nx=1\n");
  TIniFile ini(Ini());
  EXPECT_EQ(ini.ReadText("b", "x", "d"), "d");
  EXPECT_EQ(ini.ReadText("a", "y", "d"), "d");
  EXPECT_EQ(ini.ReadText("a", "x", "d"), "1");
}

TEST_F(IniFileTest, NamesIgnoreLetterCase) {
  TIniFile ini(Ini());
  ini.WriteFlag("Fixed", "OK", true);
  ini.WriteText("fixed", "ok", "0");
  EXPECT_EQ(Contents(), "[Fixed]\nOK=0\n");
  EXPECT_FALSE(ini.ReadFlag("FIXED", "Ok", true));

  Put("[srv]\nhostname=a.example\n");
  EXPECT_EQ(ini.ReadText("SRV", "HostName", ""), "a.example");
  ini.WriteText("srv", "HostName", "b.example");
  EXPECT_EQ(Contents(), "[srv]\nhostname=b.example\n");
}

TEST_F(IniFileTest, WriteCreatesFileSectionAndKeyAndReplacesInPlace) {
  TIniFile ini(Ini());
  ini.WriteText("a", "x", "1");
  ini.WriteText("b", "y", "2");
  ini.WriteText("a", "z", "3");
  ini.WriteText("a", "x", "one");
  ini.WriteText("b", "y", "");
  EXPECT_EQ(Contents(), "[a]\nx=one\nz=3\n[b]\ny=\n");
  EXPECT_EQ(ini.ReadText("b", "y", "d"), "");
}

TEST_F(IniFileTest, NewKeyGoesAfterLastKeyNotAfterNextSectionsComment) {
  Put("[a]\nx=1\n\n; the b section\n[b]\ny=2");
  TIniFile ini(Ini());
  ini.WriteText("a", "n", "v");
  ini.WriteText("b", "m", "w");  // the last line has no line end
  EXPECT_EQ(Contents(), "[a]\nx=1\nn=v\n\n; the b section\n[b]\ny=2\nm=w\n");
}

TEST_F(IniFileTest, WindowsLineEndsAreKept) {
  Put("[a]\r\nx=1\r\n");
  TIniFile ini(Ini());
  EXPECT_EQ(ini.ReadText("a", "x", ""), "1");
  ini.WriteText("a", "x", "2");
  ini.WriteText("a", "y", "3");
  ini.WriteText("c", "z", "4");
  EXPECT_EQ(Contents(), "[a]\r\nx=2\r\ny=3\r\n[c]\r\nz=4\r\n");
}

TEST_F(IniFileTest, Numbers) {
  Put("[p]\nhex=0x2\nHEX=0X1f\nneg=-12\nplus=+5\nabc=abc\nempty=\n0x=0x\nbig=2147483648\n"
      "max=2147483647\nmin=-2147483648\nlow=-2147483649\nhexbig=0x80000000\nhexneg=0x-1\n"
      "trail=12a\nsp=1 2\nupper=0X1f\n");
  TIniFile ini(Ini());
  EXPECT_EQ(ini.ReadNumber("p", "hex", 9), 2);
  EXPECT_EQ(ini.ReadNumber("p", "HEX", 9), 2);  // the same key: the first one counts
  EXPECT_EQ(ini.ReadNumber("p", "upper", 9), 31);
  EXPECT_EQ(ini.ReadNumber("p", "neg", 9), -12);
  EXPECT_EQ(ini.ReadNumber("p", "plus", 9), 5);
  EXPECT_EQ(ini.ReadNumber("p", "max", 9), 2147483647);
  EXPECT_EQ(ini.ReadNumber("p", "min", 9), INT32_MIN);
  for (const char* key : {"abc", "empty", "0x", "big", "low", "hexbig", "hexneg", "trail", "sp",
                          "missing"})
    EXPECT_EQ(ini.ReadNumber("p", key, 9), 9) << key;

  ini.WriteNumber("q", "n", -2147483647 - 1);
  EXPECT_EQ(ini.ReadText("q", "n", ""), "-2147483648");
}

TEST_F(IniFileTest, Flags) {
  Put("[f]\ntwo=2\nzero=0\nhexzero=0x0\njunk=yes\n");
  TIniFile ini(Ini());
  EXPECT_TRUE(ini.ReadFlag("f", "two", false));
  EXPECT_FALSE(ini.ReadFlag("f", "zero", true));
  EXPECT_FALSE(ini.ReadFlag("f", "hexzero", true));
  EXPECT_TRUE(ini.ReadFlag("f", "junk", true));
  EXPECT_FALSE(ini.ReadFlag("f", "junk", false));
  ini.WriteFlag("f", "on", true);
  ini.WriteFlag("f", "off", false);
  EXPECT_EQ(ini.ReadText("f", "on", ""), "1");
  EXPECT_EQ(ini.ReadText("f", "off", ""), "0");
}

TEST_F(IniFileTest, ReadReturnsAtMost1023Characters) {
  TIniFile ini(Ini());
  ini.WriteText("s", "k1023", std::string(1023, 'a'));
  ini.WriteText("s", "k2000", std::string(2000, 'b'));
  EXPECT_EQ(ini.ReadText("s", "k1023", ""), std::string(1023, 'a'));
  EXPECT_EQ(ini.ReadText("s", "k2000", ""), std::string(1023, 'b'));
  // The whole value is stored all the same.
  EXPECT_NE(Contents().find("k2000=" + std::string(2000, 'b') + "\n"), std::string::npos);
}

TEST_F(IniFileTest, ClearSectionRemovesOnlyItsSection) {
  Put("; head\n[a]\nx=1\n[Gone]\n; about y\ny=2\nfoo\n\n; about b\n[b]\nz=3\n[gone]\nw=4\n");
  TIniFile ini(Ini());
  ini.ClearSection("GONE");
  EXPECT_EQ(Contents(), "; head\n[a]\nx=1\n\n; about b\n[b]\nz=3\n");
  EXPECT_EQ(ini.ReadText("gone", "y", "d"), "d");
  EXPECT_EQ(ini.ReadText("b", "z", ""), "3");
  const std::string before = Contents();
  ini.ClearSection("none");
  EXPECT_EQ(Contents(), before);
}

TEST_F(IniFileTest, DuplicatesFirstOneWins) {
  Put("[a]\nk=first\nK=second\n[b]\nq=1\n[A]\nk=third\nonly=there\n");
  TIniFile ini(Ini());
  EXPECT_EQ(ini.ReadText("a", "k", ""), "first");
  EXPECT_EQ(ini.ReadText("a", "only", "d"), "d");  // a later [A] is not looked at
  ini.WriteText("a", "k", "new");
  ini.WriteText("a", "only", "here");
  EXPECT_EQ(Contents(), "[a]\nk=new\nK=second\nonly=here\n[b]\nq=1\n[A]\nk=third\nonly=there\n");
  auto entries = ini.ReadSection("A");
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[1], (std::pair<std::string, std::string>("K", "second")));
}

TEST_F(IniFileTest, EmptySectionNameIsASectionOfItsOwn) {
  TIniFile ini(Ini());
  EXPECT_EQ(ini.ReadText("", "HostName", "d"), "d");
  ini.WriteText("", "HostName", "h");
  EXPECT_EQ(ini.ReadText("", "HostName", "d"), "h");
  EXPECT_EQ(Contents(), "[]\nHostName=h\n");
}
