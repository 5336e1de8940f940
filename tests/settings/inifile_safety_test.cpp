// TIniFile: writes that keep the user's file whole, values that read back
// exactly, and files that are not what the program wrote.
#include "SettingsTestFolder.h"

#include <csignal>
#include <dirent.h>
#include <functional>
#include <stdexcept>
#include <sys/resource.h>
#include <unistd.h>

#include "settings/TIniFile.h"

namespace {

std::string WriteError(const std::function<void()>& write) {
  try {
    write();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "(no error)";
}

int FilesIn(const std::string& dir) {
  int count = 0;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (dirent* e = ::readdir(d))
      if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") ++count;
    ::closedir(d);
  }
  return count;
}

// Limits the size of files this process may write, so that writing the new
// copy fails as on a full disk; works for root as well.
class FileSizeLimit {
public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &old_);
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = old_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, oldHandler_);
  }

private:
  rlimit old_{};
  void (*oldHandler_)(int) = nullptr;
};

}  // namespace

using IniSafetyTest = SettingsTest;

TEST_F(IniSafetyTest, CommentsBlankLinesAndForeignKeysSurviveWrites) {
  const std::string original =
      "# written by hand\n"
      "\n"
      "[options]\n"
      "; which viewer\n"
      "Editor=vi\n"
      "Colour=blue\n"
      "not a key line\n"
      "\n"
      "[other program]\n"
      "  Setting = 42  \n"
      "; trailing comment";
  Put(original);
  TIniFile ini(Ini());
  ini.WriteText("options", "Editor", "emacs");
  ini.WriteText("options", "DirSep", "1");
  ini.WriteText("index", "next", "0");
  EXPECT_EQ(Contents(),
            "# written by hand\n"
            "\n"
            "[options]\n"
            "; which viewer\n"
            "Editor=emacs\n"
            "Colour=blue\n"
            "not a key line\n"
            "DirSep=1\n"
            "\n"
            "[other program]\n"
            "  Setting = 42  \n"
            "; trailing comment\n"
            "[index]\n"
            "next=0\n");
  EXPECT_EQ(ini.ReadText("other program", "setting", ""), "42");
}

TEST_F(IniSafetyTest, CommentLinesAreNeverKeys) {
  Put("[s]\n;key=commented\n#key=too\n");
  TIniFile ini(Ini());
  EXPECT_EQ(ini.ReadText("s", "key", "d"), "d");
  ini.WriteText("s", "key", "v");
  // A new key goes before the comments that end a section.
  EXPECT_EQ(Contents(), "[s]\nkey=v\n;key=commented\n#key=too\n");
}

TEST_F(IniSafetyTest, ValueWithLineBreakCannotAddKeyOrSection) {
  TIniFile ini(Ini());
  ini.WriteText("p", "Password", "secret\nUserName=evil\n[Fixed]\nOK=0");
  ini.WriteText("p", "Account", "acct\r[x]");
  ini.WriteText("p", "Directory", std::string("dir\0Port=1", 10));
  EXPECT_EQ(Contents(), "[p]\nPassword=secret\nAccount=acct\nDirectory=dir\n");
  EXPECT_EQ(ini.ReadText("p", "UserName", "none"), "none");
  EXPECT_TRUE(ini.ReadFlag("Fixed", "OK", true));
  // The same for names: a section name cannot start a second section.
  ini.WriteText("q\n[Fixed]", "OK", "0");
  EXPECT_EQ(ini.ReadText("q", "OK", ""), "0");
  EXPECT_TRUE(ini.ReadFlag("Fixed", "OK", true));
}

TEST_F(IniSafetyTest, ValuesReadBackExactlyAndHandEditedBlanksAreTrimmed) {
  TIniFile ini(Ini());
  for (const std::string value : {" x ", "  ", "\tlead", "trail ", "\"quoted\"", "\"", "\"\"",
                                  "a\"b", "\" x", "=", "a=b", ";not comment", "[not section]",
                                  "#", "\xe4\xf6\xfc\xff"}) {
    ini.WriteText("s", "Password", value);
    EXPECT_EQ(ini.ReadText("s", "Password", "d"), value) << "[" << value << "]";
  }
  Put("[s]\n  Password  =   p w  \t\nquoted= \" a \" \n");
  EXPECT_EQ(ini.ReadText("s", "password", ""), "p w");
  EXPECT_EQ(ini.ReadText("s", "quoted", ""), " a ");
  ini.WriteText("s", "password", "new");
  EXPECT_EQ(Contents(), "[s]\nPassword=new\nquoted= \" a \" \n");
}

TEST_F(IniSafetyTest, RefusedWriteRaisesAndChangesNothing) {
  const std::string original = "[options]\r\nEditor=vi\r\n; mine\r\n";
  Put(original);
  TIniFile ini(Ini());
  {
    // Writing the new copy fails as on a full disk.
    FileSizeLimit limit(4);
    EXPECT_EQ(WriteError([&] { ini.WriteText("options", "Editor", "emacs"); }),
              "Unable to write to " + Ini());
    EXPECT_EQ(WriteError([&] { ini.ClearSection("options"); }), "Unable to write to " + Ini());
  }
  EXPECT_EQ(Contents(), original);
  EXPECT_EQ(FilesIn(Dir()), 1) << "no new copy may be left behind";

  if (::geteuid() != 0) {  // root writes read-only files, so this only holds for others
    ASSERT_EQ(::chmod(Ini().c_str(), 0444), 0);
    EXPECT_EQ(WriteError([&] { ini.WriteText("options", "Editor", "emacs"); }),
              "Unable to write to " + Ini());
    EXPECT_EQ(Contents(), original);
    EXPECT_EQ(FilesIn(Dir()), 1);
  }
}

TEST_F(IniSafetyTest, RefusedWhenFolderIsMissingOrPathIsAFolder) {
  const std::string missing = Dir() + "no such folder/TARNEX.INI";
  EXPECT_EQ(WriteError([&] { TIniFile(missing).WriteText("a", "b", "c"); }),
            "Unable to write to " + missing);

  ASSERT_EQ(::mkdir(Ini().c_str(), 0755), 0);
  TIniFile ini(Ini());
  EXPECT_EQ(ini.ReadText("a", "b", "d"), "d");
  EXPECT_EQ(WriteError([&] { ini.WriteText("a", "b", "c"); }), "Unable to write to " + Ini());
  EXPECT_EQ(WriteError([&] { ini.ClearSection("a"); }), "Unable to write to " + Ini());
  EXPECT_EQ(FilesIn(Dir()), 1);
}

TEST_F(IniSafetyTest, RewriteKeepsPermissionsAndFollowsSymbolicLink) {
  Put("[a]\nx=1\n");
  ASSERT_EQ(::chmod(Ini().c_str(), 0640), 0);
  TIniFile ini(Ini());
  ini.WriteText("a", "x", "2");
  struct stat st {};
  ASSERT_EQ(::stat(Ini().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(Contents(), "[a]\nx=2\n");

  const std::string link = Dir() + "link.ini";
  ASSERT_EQ(::symlink(Ini().c_str(), link.c_str()), 0);
  TIniFile(link).WriteText("a", "x", "3");
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(Contents(), "[a]\nx=3\n");
  EXPECT_EQ(FilesIn(Dir()), 2);
}

TEST_F(IniSafetyTest, BinaryJunkAndNulBytesReadWithoutHarm) {
  std::string junk;
  for (int i = 0; i < 200000; ++i) junk += static_cast<char>((i * 7919) % 256);
  junk += std::string("\n[s]\nk=v\0w\n", 11);
  Put(junk);
  TIniFile ini(Ini());
  EXPECT_EQ(ini.ReadText("s", "k", ""), std::string("v\0w", 3));
  EXPECT_EQ(ini.ReadText("nothing", "k", "d"), "d");
  ini.WriteText("s", "new", "1");
  EXPECT_EQ(Contents(), junk + "new=1\n");
}

TEST_F(IniSafetyTest, VeryLongLinesAndLargeFiles) {
  const std::string longValue(100000, 'v');
  const std::string longJunk(100000, '[');
  Put("[s]\nlong=" + longValue + "\nquoted=\"" + longValue + "\"\n" + longJunk + "]\nafter=1\n");
  TIniFile ini(Ini());
  EXPECT_EQ(ini.ReadText("s", "long", ""), std::string(1023, 'v'));
  EXPECT_EQ(ini.ReadText("s", "quoted", ""), std::string(1023, 'v'));
  EXPECT_EQ(ini.ReadText("s", "after", ""), "1") << "a 100,000-character line is no header";
  ini.WriteText("s", "after", "2");
  EXPECT_EQ(ini.ReadText("s", "after", ""), "2");

  // 100 MB of other sections: read and written in one linear pass each.
  std::string block;
  for (int i = 0; i < 1000; ++i) block += "[sec" + std::to_string(i) + "]\nkey=" + std::string(90, 'x') + "\n";
  {
    std::ofstream out(Ini(), std::ios::binary | std::ios::trunc);
    for (int i = 0; i < 1000; ++i) out << block;  // about 100 MB
    out << "[last]\nk=end\n";
  }
  EXPECT_EQ(ini.ReadText("LAST", "k", ""), "end");
  ini.WriteText("last", "k", "changed");
  EXPECT_EQ(ini.ReadText("last", "k", ""), "changed");
  struct stat st {};
  ASSERT_EQ(::stat(Ini().c_str(), &st), 0);
  EXPECT_GT(st.st_size, 100'000'000);
}

TEST_F(IniSafetyTest, PipeReadsAsAbsentWithoutBlocking) {
  ASSERT_EQ(::mkfifo(Ini().c_str(), 0644), 0);
  TIniFile ini(Ini());
  EXPECT_EQ(ini.ReadText("a", "b", "d"), "d");
  EXPECT_EQ(WriteError([&] { ini.WriteText("a", "b", "c"); }), "Unable to write to " + Ini());
}
