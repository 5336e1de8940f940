// Profiles (the Setup dialog's list, Add, Save, OK, Delete and Load), what
// start-up reads, and the Options menu.
#include "SettingsTestFolder.h"

#include "settings/Options.h"
#include "settings/Profiles.h"
#include "settings/Startup.h"

static std::string Show(const ConnectionProfile& p) {
  std::string out;
  for (const auto& text : {p.Name, p.HostName, p.UserName, p.Password, p.Account, p.Directory, p.Port, p.Localdir}) out += text + "|";
  for (bool flag : {p.Anonymous, p.AutoSave, p.UseLogFile, p.IncludeDirs, p.IncludeSubDirs, p.UseLowerCase}) out += std::to_string(flag);
  return out + "|" + p.InitializeCommand + "|" + std::to_string(p.TransferType) + " ";
}

// add, save (with no type chosen) and ok N store the boxes of profile N; add
// and save give the current type after them (2 before). delete N gives
// "<previous>"; list gives "[names,|last used]"; load N gives the dialog's
// profile; start gives what start-up reads; mkdir puts a folder in the file's place.
static Op Profiles(std::string script) {
  return Script([](const std::string& verb, const std::string& n, const std::string& p) {
    const ConnectionProfile b{n,     "ftp." + n, "u",   " pw ", "",    "/pub", " 21 ",  "/tmp",
                              false, true,       false, true,   false, true,   "SITE X", verb == "save" ? 0 : 3, 0, ""};
    int32_t current = 2;  // the type chosen before
    std::string out;
    if (verb == "add") return AddProfile(p, b, current), std::to_string(current);
    if (verb == "save") return SaveProfile(p, b, current), std::to_string(current);
    if (verb == "ok") return SaveProfileOnOK(p, b), out;
    if (verb == "load") return Show(LoadProfile(p, n, "/box", 2));
    if (verb == "tls") {  // the TLS keys as read, then OK with TLS off
      const ConnectionProfile read = LoadProfile(p, n, "", 2);
      return SaveProfileOnOK(p, b), std::to_string(read.Security) + read.TrustedCertificate + ";";
    }
    if (verb == "delete") return "<" + DeleteProfile(p, n).value_or("none") + ">";
    if (verb == "mkdir") return std::filesystem::create_directory(p), out;
    if (verb == "list") {
      const ProfileList list = LoadProfileList(p);
      for (const auto& name : list.Names) out += name + ",";
      return "[" + out + "|" + list.LastUsed + "]";
    }
    const StartupSettings s = ReadStartupSettings(p, current);  // start
    out = s.Options.DirSep + "," + s.Options.ViewSep + "," + s.Options.Editor + (s.OptionDefaultsWritten ? " stored" : "") +
          s.OptionDefaultsError + " " + Show(s.Profile) + s.Batch.InitializeCommand + std::to_string(s.TransferType);
    for (bool flag : {s.Batch.IncludeDirs, s.Batch.IncludeSubDirs, s.Batch.UseLowerCase, s.LogEnabled, s.ConfiguredFlag})
      out += std::to_string(flag);
    return out + std::to_string(ReadConfiguredFlag(p));
  }, script);
}
// The keys profile N is stored with, but TransferType.
static std::string Keys(const std::string& n) {
  return "[" + n + "]\nHostName=ftp." + n + "\nUserName=u\nPassword=\" pw \"\nAccount=\nDirectory=/pub\nPort=21\nLocaldir=/tmp\n"
         "Anonymous=0\nAutoSave=1\nUseLogFile=0\nIncludeDirs=1\nIncludeSubDirs=0\nUseLowerCase=1\nInitializeCommand=SITE X\n";
}
const std::string notInteger = " is not a valid integer value}", started = "||||||||001000||2 2000111";

const std::string hex = "00112233445566778899AABBCCDDEEFF00112233445566778899AABBCCDDEEFF";

const std::vector<SettingsRow> rows = {
    {"TLS keys: a fingerprint with colons in small letters reads in capitals, a bad one or Security reads as "
     "none; OK with TLS off overwrites them where they stand and adds none elsewhere",
     "[t]\nSecurity=2\nTrustedCertificate=00:11:22:33:44:55:66:77:88:99:aa:bb:cc:dd:ee:ff:00:11:22:33:44:55:66:"
     "77:88:99:aa:bb:cc:dd:ee:ff\n[u]\nSecurity=7\nTrustedCertificate=0" + hex + "\n",
     Profiles("tls t|tls u|tls v"), "2" + hex + ";0;0;",
     "[t]\nSecurity=0\nTrustedCertificate=\n" + Keys("t").substr(4) + "[u]\nSecurity=0\nTrustedCertificate=\n" +
         Keys("u").substr(4) + "[Fixed]\nOK=1\n[LastUsed]\nNAME=v\n" + Keys("v")},
    {"add on no file: slot, last used, configured, then the keys in order", std::nullopt, Profiles("add home|load HOME"),
     "3HOME|ftp.home|u| pw ||/pub|21|/tmp|010101|SITE X|3 ",
     "[index]\nnext=1\nProfile0=home\n[LastUsed]\nNAME=home\n[Fixed]\nOK=1\n" + Keys("home") + "TransferType=3\n"},
    {"save with no type chosen keeps the current one; OK stores no type", std::nullopt, Profiles("save s|ok o"), "2",
     Keys("s") + "TransferType=2\n[LastUsed]\nNAME=o\n" + Keys("o") + "[Fixed]\nOK=1\n"},
    {"load of a bare profile gives the dialog's defaults", "[bare]\nHostName=h\nTransferType=abc\n",
     Profiles("load bare"), "bare|h||||||/box|111111||2 "},
    {"delete empties the first slot of exactly that name, and the one before becomes the last used; slots are "
     "never reused", std::nullopt, Profiles("add a|add b|add a|list|delete b|delete A|delete a|list|add c"),
     "333[a,b,a,|a]<a><><>[a,|]3", "[index]\nnext=4\nProfile0=\nProfile1=\nProfile2=a\nProfile3=c\n[LastUsed]\n"
     "NAME=c\n[Fixed]\nOK=1\n" + Keys("c") + "TransferType=3\n"},
    {"the list takes slots 0 to next as the keys are written, and skips empty ones",
     "[index]\nnext=2\nProfile=none\nProfile0=zero\nProfile1=\nProfile02=padded\nprofile2=two\nProfile3=beyond\n",
     Profiles("list"), "[zero,two,|]"},
    {"a huge next neither hangs nor wraps", "[index]\nnext=2147483647\nProfile2147483647=last\nProfile5=five\n",
     Profiles("list|add x|list"), "[five,last,|]3{'2147483648'" + notInteger, "[index]\nnext=2147483648\n"
     "Profile2147483647=x\nProfile5=five\n[LastUsed]\nNAME=x\n[Fixed]\nOK=1\n" + Keys("x") + "TransferType=3\n"},
    {"start-up with no file: defaults, and only the options stored", std::nullopt, Profiles("start"),
     "0,1,xdg-open stored " + started, "[options]\nDirSep=0\nViewSep=1\nEditor=xdg-open\n"},
    {"start-up stores no defaults when one option is set", "[options]\nDirSep=\nEditor=vi\n", Profiles("start"),
     ",,vi " + started},
    {"start-up reads the last-used profile with its own defaults",
     "[options]\nEditor=vi\n[LastUsed]\nNAME=Srv\n[fixed]\nok=0\n[srv]\nHostName=h\nPort=2121\nPassword=\" p \"\n"
     "TransferType=abc\nUseLogFile=0\nAnonymous=1\nAutoSave=1\nIncludeSubDirs=5\nInitializeCommand=SITE Y\nLocaldir=/d\n",
     Profiles("start"), ",,vi Srv|h|| p |||2121|/d|000010|SITE Y|2 SITE Y2010000"},
    {"start-up reports a refused defaults write", std::nullopt, Profiles("mkdir|start"),
     "0,1,xdg-openUnable to write to TARNEX.INI " + started, std::nullopt},
    {"the Options menu", "[options]\nEditor=vi\n", [](const std::string& p) {
       const std::string before = ReadEditor(p) + ToggledSeparateValue("") + ToggledSeparateValue("2") + ToggledSeparateValue("0");
       WriteDirSep(p, "0"), WriteViewSep(p, "1"), WriteEditor(p, "");
       return before + "[" + ReadEditor(p) + "]";
     }, "vi001[]", "[options]\nEditor=\nDirSep=0\nViewSep=1\n"},
};

TEST_P(SettingsRows, Run) { RunSettingsRow(GetParam()); }
INSTANTIATE_TEST_SUITE_P(Profiles, SettingsRows, ::testing::ValuesIn(rows));
