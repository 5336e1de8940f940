// The settings file (TIniFile) and what is kept in it: profiles (the Setup
// dialog's list, Add, Save, OK, Delete and Load), what start-up reads, and
// the Options menu; and where the settings and the log live, with the mode of
// the files the program creates there. A row gives the file before, a script
// of steps on it, what the steps return, and the file after.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>

#include "ftp/LogFile.h"
#include "settings/Options.h"
#include "settings/Profiles.h"
#include "settings/SettingsLocation.h"
#include "settings/Startup.h"
#include "settings/TIniFile.h"
#include "support/TempProgramDir.h"

namespace {
using namespace std::string_literals;

std::string Mode(const std::string& path) {  // in octal, "none" when missing
  struct stat st {};
  return ::stat(path.c_str(), &st) ? "none" : (std::ostringstream() << std::oct << (st.st_mode & 07777)).str();
}

std::string Show(const ConnectionProfile& p) {
  std::string out;
  for (const auto& text : {p.Name, p.HostName, p.UserName, p.Password, p.Account, p.Directory, p.Port, p.Localdir}) out += text + "|";
  for (bool flag : {p.Anonymous, p.AutoSave, p.UseLogFile, p.IncludeDirs, p.IncludeSubDirs, p.UseLowerCase}) out += std::to_string(flag);
  return out + "|" + p.InitializeCommand + "|" + std::to_string(p.TransferType) + " ";
}

// One step on the settings file at p, and what it gives.
// The file: read S.K gives "[value]" (default "d"); number S.K gives the
// number (default 9); write S.K=V; clear S; mode gives the permission bits
// and whether the path is a link. mkdir, mkfifo, symlink (to
// TARNEX.INI) and chmod OCTAL put things in place; limit N lets files grow to
// N bytes only, limit alone lifts that.
// Profiles: add, save (with no type chosen) and ok N store the boxes of
// profile N; add and save give the current type after them (2 before).
// delete N gives "<previous>"; list gives "[names,|last used]"; load N gives
// the dialog's profile; start gives what start-up reads; options plays the
// Options menu.
// locate W XDG chooses the settings folder for the file's folder (made mode
// 755) and writes the settings and the log there; it gives "[folder]" and the
// modes of the folder, the settings and the log, or the error. W is the
// folder's writable answer: yes, no, or ask (the system), gone (asks about a
// missing folder). XDG_CONFIG_HOME: - unset, rel (relative), or a folder
// beside the file; HOME is home beside the file, and beside it is a file "file".
std::string Step(const std::string& verb, const std::string& arg, const std::string& p) {
  const TIniFile ini(p);
  const std::size_t dot = arg.find('.'), eq = arg.find('=', dot);
  const std::string s = arg.substr(0, dot), k = arg.substr(dot + 1, eq - dot - 1);
  const ConnectionProfile b{arg,  "ftp." + arg, "u",   " pw ", "",    "/pub", " 21 ",  "/tmp",
                            false, true,        false, true,   false, true,   "SITE X", verb == "save" ? 0 : 3};
  int32_t current = 2;  // the type chosen before
  std::string out;
  if (verb == "read") return "[" + ini.ReadText(s, k, "d") + "]";
  if (verb == "number") return std::to_string(ini.ReadNumber(s, k, 9)) + " ";
  if (verb == "mode") return Mode(p) + (std::filesystem::is_symlink(p) ? " link " : " ");
  if (verb == "write") ini.WriteText(s, k, arg.substr(eq + 1));
  if (verb == "clear") ini.ClearSection(arg);
  if (verb == "mkdir") std::filesystem::create_directory(p);
  if (verb == "mkfifo") ::mkfifo(p.c_str(), 0644);
  if (verb == "symlink") std::filesystem::create_symlink("TARNEX.INI", p);
  if (verb == "chmod") ::chmod(p.c_str(), std::stoi(arg, nullptr, 8));
  if (rlimit limit{}; verb == "limit" && ::getrlimit(RLIMIT_FSIZE, &limit) == 0) {
    limit.rlim_cur = arg.empty() ? limit.rlim_max : std::stoul(arg);
    ::signal(SIGXFSZ, SIG_IGN), ::setrlimit(RLIMIT_FSIZE, &limit);  // a write then fails, as on a full disk
  }
  if (verb == "add") return AddProfile(p, b, current), std::to_string(current);
  if (verb == "save") return SaveProfile(p, b, current), std::to_string(current);
  if (verb == "ok") SaveProfileOnOK(p, b);
  if (verb == "load") return Show(LoadProfile(p, arg, "/box", 2));
  if (verb == "tls") {  // the TLS keys as read, then OK with TLS off
    const ConnectionProfile read = LoadProfile(p, arg, "", 2);
    return SaveProfileOnOK(p, b), std::to_string(read.Security) + read.TrustedCertificate + ";";
  }
  if (verb == "delete") return "<" + DeleteProfile(p, arg).value_or("none") + ">";
  if (verb == "list") {
    const ProfileList list = LoadProfileList(p);
    for (const auto& name : list.Names) out += name + ",";
    return "[" + out + "|" + list.LastUsed + "]";
  }
  if (verb == "options") {
    out = ReadEditor(p) + ToggledSeparateValue("") + ToggledSeparateValue("2") + ToggledSeparateValue("0");
    WriteDirSep(p, "0"), WriteViewSep(p, "1"), WriteEditor(p, "");
    return out + "[" + ReadEditor(p) + "]";
  }
  if (verb == "locate") {
    const std::string prog = p.substr(0, p.rfind('/') + 1), w = arg.substr(0, arg.find(' ')), xdg = arg.substr(w.size() + 1);
    ::chmod(prog.c_str(), 0755), std::ofstream(prog + "file") << "x", ::setenv("HOME", (prog + "home").c_str(), 1);
    xdg == "-" ? ::unsetenv("XDG_CONFIG_HOME") : ::setenv("XDG_CONFIG_HOME", (xdg.empty() || xdg == "rel" ? xdg : prog + xdg).c_str(), 1);
    const mode_t mask = ::umask(0);  // the modes must not come from the umask
    const SettingsFolder got = w == "yes" || w == "no" ? ChooseSettingsFolder(prog, [&](const std::string&) { return w == "yes"; })
                                                       : ChooseSettingsFolder(w == "ask" ? prog : prog + "gone/");
    if (got.Error.empty()) TIniFile(got.Folder + "TARNEX.INI").WriteText("a", "x", "1"), LogFile(got.Folder + "TARNEX.LOG").Write("started");
    ::umask(mask);
    return "[" + got.Folder + "] " + (got.Error.empty() ? Mode(got.Folder) + " " + Mode(got.Folder + "TARNEX.INI") + " " +
                                      Mode(got.Folder + "TARNEX.LOG") : got.Error.substr(0, got.Error.find(": ")));
  }
  if (verb != "start") return out;
  const StartupSettings st = ReadStartupSettings(p, current);
  out = st.Options.DirSep + "," + st.Options.ViewSep + "," + st.Options.Editor + (st.OptionDefaultsWritten ? " stored" : "") +
        st.OptionDefaultsError + " " + Show(st.Profile) + st.Batch.InitializeCommand + std::to_string(st.TransferType);
  for (bool flag : {st.Batch.IncludeDirs, st.Batch.IncludeSubDirs, st.Batch.UseLowerCase, st.LogEnabled, st.ConfiguredFlag,
                    st.VerifyDataPeer, st.VerifyUploads})
    out += std::to_string(flag);
  return out + std::to_string(ReadConfiguredFlag(p));
}

const std::string AsBefore = "(as before)";
struct Row {
  std::string name;
  std::optional<std::string> before;  // nullopt: no file
  std::string script;                 // "verb arg|verb arg|..."; "file NAME" turns the steps after it to NAME
  std::string result;                 // what the steps gave; a step that throws gives "{message}"
  std::optional<std::string> after = AsBefore;  // nullopt: no regular file there
};
void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }
class Settings : public ::testing::TestWithParam<Row> {};

// Each row in a program folder of its own. Paths in the result read relative
// to it, and no copy of the file may be left behind, whatever the row did.
TEST_P(Settings, Rows) {
  const Row& row = GetParam();
  TempProgramDir dir;
  if (row.before) dir.WriteFile("TARNEX.INI", *row.before);
  std::istringstream steps(row.script);
  std::string result, path = dir.IniPath();
  for (std::string text; std::getline(steps, text, '|');) {
    const std::size_t space = std::min(text.find(' '), text.size());
    const std::string verb = text.substr(0, space), arg = text.substr(std::min(space + 1, text.size()));
    if (verb == "file") path = dir.FilePath(arg);
    try {
      result += verb == "file" ? "" : Step(verb, arg, path);
    } catch (const std::runtime_error& e) {
      result += "{" + std::string(e.what()) + "}";
    }
  }
  for (auto at = result.find(dir.Dir()); at != std::string::npos; at = result.find(dir.Dir())) result.erase(at, dir.Dir().size());
  EXPECT_EQ(result, row.result);
  if (const auto after = row.after == AsBefore ? row.before : row.after; after) EXPECT_EQ(dir.ReadFile("TARNEX.INI"), *after);
  else EXPECT_FALSE(std::filesystem::is_regular_file(dir.IniPath()));
  for (const auto& entry : std::filesystem::directory_iterator(dir.Dir()))
    EXPECT_EQ(entry.path().filename().string().find(".new"), std::string::npos) << "a copy left behind";
}

// A NUL byte, lines of 100,000 characters, a header of 65,536.
std::string Junk(const std::string& added) {
  return "[s]\nk=v\0w\nquoted=\""s + std::string(100000, 'v') + "\"\nhalf=\"" + std::string(100000, 'v') + "\n" +
         std::string(100000, '[') + "]\nafter=1\n" + added + "[" + std::string(65534, 'x') + "]\nk=2\n";
}
// The keys profile N is stored with, but TransferType.
std::string Keys(const std::string& n) {
  return "[" + n + "]\nHostName=ftp." + n + "\nUserName=u\nPassword=\" pw \"\nAccount=\nDirectory=/pub\nPort=21\nLocaldir=/tmp\n"
         "Anonymous=0\nAutoSave=1\nUseLogFile=0\nIncludeDirs=1\nIncludeSubDirs=0\nUseLowerCase=1\nInitializeCommand=SITE X\n";
}
const std::string v1023(1023, 'v'), refused = "{Unable to write to TARNEX.INI}";
const std::string reserved = " is a section of the settings file and cannot be a profile name}";
const std::string notInteger = " is not a valid integer value}", started = "||||||||001000||2 200011111";
const std::string hex = "00112233445566778899AABBCCDDEEFF00112233445566778899AABBCCDDEEFF";

INSTANTIATE_TEST_SUITE_P(IniFile, Settings, ::testing::ValuesIn(std::vector<Row>{
    {"TLS keys: a fingerprint with colons in small letters reads in capitals, a bad one or Security reads as "
     "none; OK with TLS off overwrites them where they stand and adds none elsewhere",
     "[t]\nSecurity=2\nTrustedCertificate=00:11:22:33:44:55:66:77:88:99:aa:bb:cc:dd:ee:ff:00:11:22:33:44:55:66:"
     "77:88:99:aa:bb:cc:dd:ee:ff\n[u]\nSecurity=7\nTrustedCertificate=0" + hex + "\n",
     "tls t|tls u|tls v", "2" + hex + ";0;0;",
     "[t]\nSecurity=0\nTrustedCertificate=\n" + Keys("t").substr(4) + "[u]\nSecurity=0\nTrustedCertificate=\n" +
         Keys("u").substr(4) + "[Fixed]\nOK=1\n[LastUsed]\nNAME=v\n" + Keys("v")},
    {"no file: reads give defaults, clearing creates nothing", std::nullopt,
     "read options.Editor|number p.next|clear options", "[d]9 ", std::nullopt},
    {"the first section and key of a name count, in any letter case; values lose blanks and quotes around them; "
     "comments hold no keys", "[a]\nk=first\nK=2\n  Password  =   p w  \t\nquoted= \" a \" \n;o=c\n#o=c\n[b]\nq=1\n[A]\no=4\n",
     "read  A .K|read a.o|read B.Q|read a.password|read a.quoted|write a.k=new|write A.o=v|write a.password= x ",
     "[first][d][1][p w][ a ]",
     "[a]\nk=new\nK=2\nPassword=\" x \"\nquoted= \" a \" \no=v\n;o=c\n#o=c\n[b]\nq=1\n[A]\no=4\n"},
    {"numbers", "[p]\nhex=0x1f\nup=0X1F\nneg=-12\nplus=+5\nmax=2147483647\nmin=-2147483648\nzero=0x0\nabc=abc\n"
     "big=2147483648\nlow=-2147483649\nhexbig=0x80000000\ncolon=1:\n", "number p.hex|number p.up|number p.neg|"
     "number p.plus|number p.max|number p.min|number p.zero|number p.abc|number p.big|number p.low|number p.hexbig|"
     "number p.colon", "31 31 -12 5 2147483647 -2147483648 0 9 9 9 9 9 "},
    {"NUL bytes, long lines", Junk(""),
     "read s.k|read s.quoted|read s.half|read s.after|write s.new=1|read " + std::string(65534, 'x') + ".k",
     "[v\0w]["s + v1023 + "][\"" + v1023.substr(1) + "][1][2]", Junk("new=1\n")},
    {"a new key goes after its section's last line; every other line stays",
     "# by hand\n\n[options]\n; viewer\nEditor=vi\nnot a key\n\n; the b section\n[b]\n  Setting = 42  \ny=2",
     "write OPTIONS.editor=emacs|write options.DirSep=1|write b.setting=43|write b.m=w|write index.next=0", "",
     "# by hand\n\n[options]\n; viewer\nEditor=emacs\nnot a key\nDirSep=1\n\n; the b section\n[b]\nSetting=43\n"
     "y=2\nm=w\n[index]\nnext=0\n"},
    {"new lines take the file's first line end, rewritten ones keep their own; an empty value reads as empty",
     "[a]\r\nx=1\r\nw=0\n;", "read a.x|write a.w=2|write a.y=|write c.z=4|read a.y", "[1][]",
     "[a]\r\nx=1\r\nw=2\ny=\r\n;\r\n[c]\r\nz=4\r\n"},
    {"a byte-order mark does not hide the first section and stays in front", "\xEF\xBB\xBF[options]\nEditor=vi\n",
     "read options.Editor|write options.DirSep=0|clear options|write options.Editor=vi", "[vi]",
     "\xEF\xBB\xBF[options]\nEditor=vi\n"},
    {"a line break in a value or a name cannot add a line", std::nullopt,
     "write p.Password=secret\nUser=evil\n[Fixed]\nOK=0|write p.Account=a\r[x]|write p.Dir=d\0Port=1|write q\n[Fixed].OK=0"s,
     "", "[p]\nPassword=secret\nAccount=a\nDir=d\n[q]\nOK=0\n"},
    {"clearing removes every section of the name, not the comments before the next",
     "; head\n[a]\nx=1\n[Gone]\n; about y\ny=2\nfoo\n\n; about b\n[b]\nz=3\n[gone]\nw=4\n", "clear GONE", "",
     "; head\n[a]\nx=1\n\n; about b\n[b]\nz=3\n"},
    {"a full disk refuses writes, which change nothing", "[options]\r\nEditor=vi\r\n; mine\r\n",
     "limit 4|write options.Editor=emacs|clear options|limit", refused + refused},
    {"a folder or a pipe in the file's place, or a missing folder: no file to read, writes refused", std::nullopt,
     "mkdir|read a.b|write a.b=c|clear a|file pipe|mkfifo|read a.b|write a.b=c|file no/TARNEX.INI|write a.b=c",
     "[d]" + refused + refused + "[d]{Unable to write to pipe}{Unable to write to no/TARNEX.INI}", std::nullopt},
    {"a rewrite keeps the file's mode and replaces a link's target", std::nullopt,
     "write a.x=1|chmod 640|write a.x=2|mode|file link|symlink|write a.x=3|mode", "640 640 link ", "[a]\nx=3\n"},
}));

INSTANTIATE_TEST_SUITE_P(Profiles, Settings, ::testing::ValuesIn(std::vector<Row>{
    {"add on no file: slot, last used, configured, then the keys in order", std::nullopt, "add home|load HOME",
     "3HOME|ftp.home|u| pw ||/pub|21|/tmp|010101|SITE X|3 ",
     "[index]\nnext=1\nProfile0=home\n[LastUsed]\nNAME=home\n[Fixed]\nOK=1\n" + Keys("home") + "TransferType=3\n"},
    {"save with no type chosen keeps the current one; OK stores no type", std::nullopt, "save s|ok o", "2",
     Keys("s") + "TransferType=2\n[LastUsed]\nNAME=o\n" + Keys("o") + "[Fixed]\nOK=1\n"},
    {"load of a bare profile gives the dialog's defaults", "[bare]\nHostName=h\nTransferType=abc\n",
     "load bare", "bare|h||||||/box|111111||2 "},
    {"delete empties the first slot of exactly that name, and the one before becomes the last used; slots are "
     "never reused", std::nullopt, "add a|add b|add a|list|delete b|delete A|delete a|list|add c",
     "333[a,b,a,|a]<a><><>[a,|]3", "[index]\nnext=4\nProfile0=\nProfile1=\nProfile2=a\nProfile3=c\n[LastUsed]\n"
     "NAME=c\n[Fixed]\nOK=1\n" + Keys("c") + "TransferType=3\n"},
    {"the list takes slots 0 to next as the keys are written, and skips empty ones",
     "[index]\nnext=2\nProfile=none\nProfile0=zero\nProfile1=\nProfile02=padded\nprofile2=two\nProfile3=beyond\n",
     "list", "[zero,two,|]"},
    {"a huge next neither hangs nor wraps", "[index]\nnext=2147483647\nProfile2147483647=last\nProfile5=five\n",
     "list|add x|list", "[five,last,|]3{'2147483648'" + notInteger, "[index]\nnext=2147483648\n"
     "Profile2147483647=x\nProfile5=five\n[LastUsed]\nNAME=x\n[Fixed]\nOK=1\n" + Keys("x") + "TransferType=3\n"},
    {"start-up with no file: defaults, and only the options stored", std::nullopt, "start",
     "0,1,xdg-open stored " + started, "[options]\nDirSep=0\nViewSep=1\nEditor=xdg-open\n"},
    {"start-up stores no defaults when one option is set; the checks of data peers and uploads can be turned off",
     "[options]\nDirSep=\nEditor=vi\nVerifyDataPeer=0\nVerifyUploads=0\n", "start", ",,vi ||||||||001000||2 200011001"},
    {"start-up reads the last-used profile with its own defaults",
     "[options]\nEditor=vi\n[LastUsed]\nNAME=Srv\n[fixed]\nok=0\n[srv]\nHostName=h\nPort=2121\nPassword=\" p \"\n"
     "TransferType=abc\nUseLogFile=0\nAnonymous=1\nAutoSave=1\nIncludeSubDirs=5\nInitializeCommand=SITE Y\nLocaldir=/d\n",
     "start", ",,vi Srv|h|| p |||2121|/d|000010|SITE Y|2 SITE Y201000110"},
    {"start-up reports a refused defaults write", std::nullopt, "mkdir|start",
     "0,1,xdg-openUnable to write to TARNEX.INI " + started, std::nullopt},
    {"names that are sections of the file are refused as profile names; nothing is written", "[options]\nEditor=vi\n",
     "add index|save OPTIONS|ok LastUsed|delete fixed", "{'index'" + reserved + "{'OPTIONS'" + reserved +
     "{'LastUsed'" + reserved + "{'fixed'" + reserved},
    {"the Options menu", "[options]\nEditor=vi\n", "options", "vi001[]", "[options]\nEditor=\nDirSep=0\nViewSep=1\n"},
}));

// The program folder's writable answer is given by most rows, so read-only
// rows hold when the tests run as root too. An existing file keeps its mode.
const std::string made = "[] 755 600 600", inXdg = "[xdg/tarnex/] 700 600 600", inHome = "[home/.config/tarnex/] 700 600 600";
INSTANTIATE_TEST_SUITE_P(Location, Settings, ::testing::ValuesIn(std::vector<Row>{
    {"a writable program folder holds them", std::nullopt, "locate yes xdg|locate ask xdg", made + made, "[a]\nx=1\n"},
    {"a missing program folder: the configuration folder", std::nullopt, "locate gone xdg", inXdg, std::nullopt},
    {"read-only, no settings file: folders made", std::nullopt, "locate no a/b", "[a/b/tarnex/] 700 600 600", std::nullopt},
    {"read-only with a settings file: it stays beside", "[Fixed]\nOK=1\n", "chmod 666|locate no xdg", "[] 755 666 600",
     "[Fixed]\nOK=1\n[a]\nx=1\n"},
    {"XDG_CONFIG_HOME unset, empty or relative", std::nullopt, "locate no -|locate no |locate no rel", inHome + inHome + inHome,
     std::nullopt},
    {"the configuration folder cannot be made", std::nullopt, "locate no file",
     "[file/tarnex/] Cannot create the settings folder file/tarnex/", std::nullopt},
}));
}  // namespace
