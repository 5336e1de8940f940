// A batch run of 200 small files (1 KiB each, one directory tree) and of
// one 256 MiB file against a local pyftpdlib, next to curl -T of the same
// files in the same run (active mode as well). The fixed 350 ms pause after
// every stored file is reported as its share of the batch run's time.
#include <QCoreApplication>

#include <filesystem>

#include "BenchKit.h"
#include "batch/BatchUpload.h"
#include "support/FtpServer.h"

namespace fs = std::filesystem;

namespace {

constexpr int kSmallFiles = 200;
constexpr long long kSmallSize = 1024;
constexpr long long kBigSize = 256LL << 20;
constexpr double kPauseSeconds = 0.350;

// One batch run in process, logged in as the server's user; returns its time.
double TimedBatch(const FtpServer& server, const std::string& programDir,
                  const std::vector<std::string>& names) {
  QuietUI ui;
  FtpEngine engine(ui, programDir);
  BatchRun run;
  run.host = "127.0.0.1";
  run.port = std::to_string(server.Port());
  run.user = server.User();
  run.password = server.Password();
  run.includeDirs = true;
  run.includeSubDirs = true;
  run.typeCommand = "TYPE I";
  run.names = names;
  auto start = std::chrono::steady_clock::now();
  BatchResult result = BatchUpload(engine, run);
  double took = Seconds(start);
  if (result != BatchResult::Finished || ui.boxes != 0)
    throw std::runtime_error("the batch run did not finish cleanly");
  return took;
}

size_t FilesIn(const fs::path& dir) {
  size_t n = 0;
  if (fs::is_directory(dir))
    for (const auto& e : fs::directory_iterator(dir)) n += e.is_regular_file() ? 1 : 0;
  return n;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  try {
    FtpServer server;
    const fs::path work = fs::temp_directory_path() / "tarnex-batch-bench";
    fs::remove_all(work);
    fs::create_directories(work / "small");
    const std::string programDir = work.string() + "/";
    const std::string url = "ftp://" + server.User() + ":" + server.Password() + "@127.0.0.1:" +
                            std::to_string(server.Port()) + "/";

    // 200 small files in one folder.
    std::string glob = "{";
    for (int i = 0; i < kSmallFiles; ++i) {
      char name[16];
      std::snprintf(name, sizeof name, "s%03d.bin", i);
      MakeFile((work / "small" / name).string(), kSmallSize);
      glob += std::string(i ? "," : "") + name;
    }
    glob += "}";

    double smallBatch = TimedBatch(server, programDir, {(work / "small").string()});
    double smallCurl = TimedShell("curl -s -P 127.0.0.1 --ftp-create-dirs -T '" +
                                  (work / "small").string() + "/" + glob + "' '" + url +
                                  "curl-small/'");
    if (FilesIn(server.Root() / "small") != kSmallFiles ||
        FilesIn(server.Root() / "curl-small") != kSmallFiles)
      std::cerr << "not every small file arrived\n";

    Print("small_files", static_cast<long long>(kSmallFiles));
    Print("small_file_bytes", kSmallSize);
    Print("small_batch_s", smallBatch);
    Print("small_curl_s", smallCurl);
    Print("small_batch_files_per_s", kSmallFiles / smallBatch);
    Print("small_curl_files_per_s", kSmallFiles / smallCurl);
    Print("small_pause_s", kSmallFiles * kPauseSeconds);
    Print("small_pause_share", kSmallFiles * kPauseSeconds / smallBatch);
    Print("small_batch_without_pause_s", smallBatch - kSmallFiles * kPauseSeconds);
    Print("small_curl_over_batch_speed", smallBatch / smallCurl);

    // One big file.
    const std::string big = (work / "big.bin").string();
    MakeFile(big, kBigSize);
    double bigBatch = TimedBatch(server, programDir, {big});
    if (FileSize((server.Root() / "big.bin").string()) != kBigSize)
      std::cerr << "the big file did not arrive whole\n";
    fs::remove(server.Root() / "big.bin");
    double bigCurl = TimedShell("curl -s -P 127.0.0.1 -T '" + big + "' '" + url + "curl-big.bin'");
    fs::remove(server.Root() / "curl-big.bin");

    Print("big_file_bytes", kBigSize);
    Print("big_batch_s", bigBatch);
    Print("big_curl_s", bigCurl);
    Print("big_batch_mib_s", kBigSize / 1048576.0 / bigBatch);
    Print("big_curl_mib_s", kBigSize / 1048576.0 / bigCurl);
    Print("big_pause_share", kPauseSeconds / bigBatch);
    Print("big_curl_over_batch_speed", bigBatch / bigCurl);

    fs::remove_all(work);
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "batch_bench: " << e.what() << "\n";
    return 1;
  }
}
