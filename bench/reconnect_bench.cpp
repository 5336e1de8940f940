// A dropped tree of 300 files whose control connection is cut three times
// during the run (by a proxy, in the middle of the 50th, 150th and 250th
// store), uploaded in process to a local pyftpdlib with the run's real
// waits between tries. Every file must arrive whole and the run must end
// with exit code 0; it prints how long the run took and how many bytes went
// twice.
//
//   reconnect_bench
#include <QCoreApplication>

#include <random>
#include <regex>

#include "BenchKit.h"
#include "batch/BatchUpload.h"
#include "net/TSleeper.h"
#include "CutProxy.h"
#include "support/FtpServer.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  try {
    FtpServer server;
    CutProxy proxy(server.Port(), {50, 150, 250});
    TempFolder work("tarnex-reconnect");
    const fs::path tree = work.Path() / "tree";
    // Ten folders of thirty files, 1 to 600 KiB, every byte drawn at random
    // so a file taken up again at the wrong byte cannot pass.
    std::mt19937 random(7);
    long long treeBytes = 0;
    for (int d = 0; d < 10; ++d)
      for (int f = 0; f < 30; ++f) {
        std::string bytes(1024 + random() % (600 * 1024), '\0');
        for (char& c : bytes) c = static_cast<char>(random());
        work.WriteFile("tree/d" + std::to_string(d) + "/f" + std::to_string(f), bytes);
        treeBytes += static_cast<long long>(bytes.size());
      }
    QuietUI ui;
    FtpEngine engine(ui, work.Path().string() + "/");
    engine.VerifyUploads = true;
    BatchRun run;
    run.host = "127.0.0.1", run.port = std::to_string(proxy.Port());
    run.user = server.User(), run.password = server.Password();
    run.includeDirs = run.includeSubDirs = true;
    run.typeCommand = "TYPE I";
    run.names = {tree.string()};
    run.reconnectTries = 3;
    TSleeper sleeper;
    run.waitToReconnect = [&](int seconds, int, int) { return sleeper.SleepFor(seconds * 1000), true; };
    const auto start = std::chrono::steady_clock::now();
    const BatchResult result = BatchUpload(engine, run);
    const double took = Seconds(start);
    if (ExitCode(result) != 0) throw std::runtime_error("the run ended with " + std::to_string(ExitCode(result)));
    CheckWhole("the run", tree, server.Root() / "tree");
    long long sent = 0;
    const std::string log = ReadAll(work.Path() / "TARNEX.LOG");
    const std::regex total("Total bytes written to remote host :(\\d+)");
    for (auto m = std::sregex_iterator(log.begin(), log.end(), total); m != std::sregex_iterator(); ++m)
      sent += std::stoll((*m)[1]);
    Print("files", 300LL);
    Print("cuts", static_cast<long long>(proxy.Cuts()));
    Print("run_s", took);
    Print("tree_bytes", treeBytes);
    Print("bytes_sent_twice", sent - treeBytes);
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "reconnect_bench: " << e.what() << "\n";
    return 1;
  }
}
