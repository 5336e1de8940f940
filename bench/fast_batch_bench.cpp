// The built program's batch run in fast mode (FastTransfers=1) of a tree of
// 1,000 files of 4 KiB in 20 folders, against curl uploading the same files
// and lftp's "mirror -R", all in active mode, on a local pyftpdlib without
// delay and with every reply 25 ms late (a server-side delay, as loopback
// has none). Runs alternate, three of each; the medians and the ratios are
// printed (time of the other over fast mode's: above 1, fast mode is
// faster). Every run's files must arrive whole.
//
//   fast_batch_bench [path of the tarnex program]
// Installs Debian's lftp when it is missing.
#include <cstdlib>
#include <random>

#include "BenchKit.h"
#include "support/FtpServer.h"

namespace fs = std::filesystem;

namespace {
void Compare(const std::string& name, int delayMs, const fs::path& tree, const fs::path& program) {
  ::setenv("TARNEX_FTPD_DELAY_MS", std::to_string(delayMs).c_str(), 1);
  FtpServer server;
  const fs::path programDir = tree.parent_path() / ("program-" + name);
  fs::create_directories(programDir);
  fs::copy_file(program, programDir / "tarnex", fs::copy_options::overwrite_existing);
  std::ofstream(programDir / "TARNEX.INI")
      << "[LastUsed]\nNAME=B\n[B]\nHostName=127.0.0.1\nPort=" << server.Port() << "\nUserName=" << server.User()
      << "\nPassword=" << server.Password()
      << "\nDirectory=fast\nIncludeDirs=1\nIncludeSubDirs=1\nTransferType=2\nUseLogFile=0\n"
         "[Fixed]\nOK=1\n[options]\nFastTransfers=1\nNotify=0\n";
  const std::string login = server.User() + ":" + server.Password() + "@127.0.0.1:" + std::to_string(server.Port());
  std::string fast = "cd '" + tree.string() + "' && QT_QPA_PLATFORM=offscreen '" + (programDir / "tarnex").string() + "'";
  std::string curl = "curl -s -P 127.0.0.1 --ftp-create-dirs";
  for (const auto& folder : fs::directory_iterator(tree)) fast += " " + folder.path().filename().string();
  for (const auto& entry : fs::recursive_directory_iterator(tree))
    if (entry.is_regular_file())
      curl += " -T '" + entry.path().string() + "' 'ftp://" + login + "/curl/" + fs::relative(entry.path(), tree).string() + "'";
  const std::string lftp = "lftp -e 'set ftp:passive-mode false; mirror -R --no-perms " + tree.string() +
                           " /lftp; quit' 'ftp://" + login + "' >/dev/null";
  std::vector<double> fastTimes, curlTimes, lftpTimes;
  for (int run = 0; run < 3; ++run) {
    for (const char* folder : {"fast", "curl", "lftp"}) fs::remove_all(server.Root() / folder);
    fs::create_directories(server.Root() / "fast");
    fastTimes.push_back(TimedShell(fast));
    CheckWhole("fast mode", tree, server.Root() / "fast");
    curlTimes.push_back(TimedShell(curl));
    CheckWhole("curl", tree, server.Root() / "curl");
    lftpTimes.push_back(TimedShell(lftp));
    CheckWhole("lftp", tree, server.Root() / "lftp");
  }
  Print(name + "_fast_s", Median(fastTimes));
  Print(name + "_curl_s", Median(curlTimes));
  Print(name + "_lftp_s", Median(lftpTimes));
  Print(name + "_curl_over_fast", Median(curlTimes) / Median(fastTimes));
  Print(name + "_lftp_over_fast", Median(lftpTimes) / Median(fastTimes));
}
}  // namespace

int main(int argc, char** argv) {
  try {
    if (std::system("command -v lftp >/dev/null || sudo apt-get install -y -qq lftp >/dev/null 2>&1 || "
                    "apt-get install -y -qq lftp >/dev/null") != 0)
      throw std::runtime_error("lftp cannot be installed");
    const fs::path program = argc > 1 ? fs::path(argv[1]) : fs::path(argv[0]).parent_path() / ".." / "tarnex";
    TempFolder work("tarnex-fast-batch");
    std::mt19937 random(11);
    for (int d = 0; d < 20; ++d)
      for (int f = 0; f < 50; ++f) {
        std::string bytes(4096, '\0');
        for (char& c : bytes) c = static_cast<char>(random());
        work.WriteFile("tree/d" + std::to_string(d) + "/f" + std::to_string(f), bytes);
      }
    Print("tree_files", 1000LL);
    Compare("no_delay", 0, work.Path() / "tree", program);
    Compare("delay_25ms", 25, work.Path() / "tree", program);
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "fast_batch_bench: " << e.what() << "\n";
    return 1;
  }
}
