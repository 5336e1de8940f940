// The settings file (TIniFile): what reads find, what writes change, and
// writes the system refuses.
#include "SettingsTestFolder.h"

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

#include "settings/TIniFile.h"

using namespace std::string_literals;

// read S.K gives "[value]" (default "d"); number S.K gives the number (default
// 9); write S.K=V; clear S; mode gives the permission bits (in decimal) and
// whether the path is a link. mkdir, mkfifo, symlink (to TARNEX.INI) and
// chmod OCTAL put things in place; limit N lets files grow to N bytes only,
// limit alone lifts that.
static Op Ini(std::string script) {
  return Script([](const std::string& verb, const std::string& arg, const std::string& p) {
    const TIniFile ini(p);
    const std::size_t dot = arg.find('.'), eq = arg.find('=', dot);
    const std::string s = arg.substr(0, dot), k = arg.substr(dot + 1, eq - dot - 1);
    if (verb == "read") return "[" + ini.ReadText(s, k, "d") + "]";
    if (verb == "number") return std::to_string(ini.ReadNumber(s, k, 9)) + " ";
    if (struct stat st {}; verb == "mode" && ::stat(p.c_str(), &st) == 0)
      return std::to_string(st.st_mode & 0777) + (std::filesystem::is_symlink(p) ? " link " : " ");
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
    return std::string();
  }, script);
}

// Binary junk, a NUL byte, lines of 100,000 characters, a header of 65,536.
static std::string Junk(const std::string& added) {
  std::string junk;
  for (int i = 0; i < 200000; ++i) junk += static_cast<char>((i * 7919) % 256);
  return junk + "\n[s]\nk=v\0w\nquoted=\""s + std::string(100000, 'v') + "\"\nhalf=\"" + std::string(100000, 'v') + "\n" +
         std::string(100000, '[') + "]\nafter=1\n" + added + "[" + std::string(65534, 'x') + "]\nk=2\n";
}
const std::string v1023(1023, 'v'), refused = "{Unable to write to TARNEX.INI}";

const std::vector<SettingsRow> rows = {
    {"no file: reads give defaults, clearing creates nothing", std::nullopt,
     Ini("read options.Editor|number p.next|clear options"), "[d]9 ", std::nullopt},
    {"the first section and key of a name count, in any letter case; values lose blanks and quotes around them; "
     "comments hold no keys", "[a]\nk=first\nK=2\n  Password  =   p w  \t\nquoted= \" a \" \n;o=c\n#o=c\n[b]\nq=1\n[A]\no=4\n",
     Ini("read  A .K|read a.o|read B.Q|read a.password|read a.quoted|write a.k=new|write A.o=v|write a.password= x "),
     "[first][d][1][p w][ a ]",
     "[a]\nk=new\nK=2\nPassword=\" x \"\nquoted= \" a \" \no=v\n;o=c\n#o=c\n[b]\nq=1\n[A]\no=4\n"},
    {"numbers", "[p]\nhex=0x1f\nup=0X1F\nneg=-12\nplus=+5\nmax=2147483647\nmin=-2147483648\nzero=0x0\nabc=abc\n"
     "big=2147483648\nlow=-2147483649\nhexbig=0x80000000\ncolon=1:\n", Ini("number p.hex|number p.up|number p.neg|"
     "number p.plus|number p.max|number p.min|number p.zero|number p.abc|number p.big|number p.low|number p.hexbig|"
     "number p.colon"), "31 31 -12 5 2147483647 -2147483648 0 9 9 9 9 9 "},
    {"binary junk, NUL bytes, long lines", Junk(""),
     Ini("read s.k|read s.quoted|read s.half|read s.after|write s.new=1|read " + std::string(65534, 'x') + ".k"),
     "[v\0w]["s + v1023 + "][\"" + v1023.substr(1) + "][1][2]", Junk("new=1\n")},
    {"a new key goes after its section's last line; every other line stays",
     "# by hand\n\n[options]\n; viewer\nEditor=vi\nnot a key\n\n; the b section\n[b]\n  Setting = 42  \ny=2",
     Ini("write OPTIONS.editor=emacs|write options.DirSep=1|write b.setting=43|write b.m=w|write index.next=0"), "",
     "# by hand\n\n[options]\n; viewer\nEditor=emacs\nnot a key\nDirSep=1\n\n; the b section\n[b]\nSetting=43\n"
     "y=2\nm=w\n[index]\nnext=0\n"},
    {"new lines take the file's first line end, rewritten ones keep their own; an empty value reads as empty",
     "[a]\r\nx=1\r\nw=0\n;", Ini("read a.x|write a.w=2|write a.y=|write c.z=4|read a.y"), "[1][]",
     "[a]\r\nx=1\r\nw=2\ny=\r\n;\r\n[c]\r\nz=4\r\n"},
    {"a line break in a value or a name cannot add a line", std::nullopt,
     Ini("write p.Password=secret\nUser=evil\n[Fixed]\nOK=0|write p.Account=a\r[x]|write p.Dir=d\0Port=1|write q\n[Fixed].OK=0"s),
     "", "[p]\nPassword=secret\nAccount=a\nDir=d\n[q]\nOK=0\n"},
    {"clearing removes every section of the name, not the comments before the next",
     "; head\n[a]\nx=1\n[Gone]\n; about y\ny=2\nfoo\n\n; about b\n[b]\nz=3\n[gone]\nw=4\n", Ini("clear GONE"), "",
     "; head\n[a]\nx=1\n\n; about b\n[b]\nz=3\n"},
    {"a full disk refuses writes, which change nothing", "[options]\r\nEditor=vi\r\n; mine\r\n",
     Ini("limit 4|write options.Editor=emacs|clear options|limit"), refused + refused},
    {"a folder or a pipe in the file's place, or a missing folder: no file to read, writes refused", std::nullopt,
     Ini("mkdir|read a.b|write a.b=c|clear a|file pipe|mkfifo|read a.b|write a.b=c|file no/TARNEX.INI|write a.b=c"),
     "[d]" + refused + refused + "[d]{Unable to write to pipe}{Unable to write to no/TARNEX.INI}", std::nullopt},
    {"a rewrite keeps the file's mode and replaces a link's target", std::nullopt,
     Ini("write a.x=1|chmod 640|write a.x=2|mode|file link|symlink|write a.x=3|mode"), "416 416 link ", "[a]\nx=3\n"},
};

TEST_P(SettingsRows, Run) { RunSettingsRow(GetParam()); }
INSTANTIATE_TEST_SUITE_P(IniFile, SettingsRows, ::testing::ValuesIn(rows));
