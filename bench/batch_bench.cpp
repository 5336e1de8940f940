// The built program's batch run of a nested tree of small files against a
// local pyftpdlib, next to curl uploading the same tree in the same run:
// runs alternate, each at least three times, and the medians are printed.
// Every run's files are checked to arrive whole; a lost or cut file fails
// the benchmark. The share of the 350 ms pause after every stored file is
// measured in an in-process run (from the last progress step of a file to
// the pause's timer tick), and one big file is timed in process as well.
//
//   batch_bench [path of the tarnex program] [runs]
// The program defaults to ../tarnex beside this benchmark's folder.
#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

#include "BenchKit.h"
#include "batch/BatchUpload.h"
#include "support/FtpServer.h"

namespace fs = std::filesystem;

namespace {

constexpr int kTopDirs = 3;
constexpr int kFilesPerDir = 10;  // in each top folder and in its sub-folder
constexpr long long kBigSize = 256LL << 20;
using Clock = std::chrono::steady_clock;


// The end of each step of a file's progress, and of each pause.
class TimingUI : public QuietUI {
public:
  Clock::time_point lastProgress;
  int ProgressPosition() override { return -1; }  // every step is shown, and timed
  void SetProgress(int percent, const std::string& text) override {
    lastProgress = Clock::now();
    QuietUI::SetProgress(percent, text);
  }
};
class PauseClock : public QObject {
public:
  TimingUI* ui = nullptr;
  double pausedSeconds = 0;
  int pauses = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Timer) {
      pausedSeconds += Seconds(ui->lastProgress);
      ++pauses;
    }
    return false;
  }
};

BatchRun RunFor(const FtpServer& server, const std::vector<std::string>& names) {
  BatchRun run;
  run.host = "127.0.0.1";
  run.port = std::to_string(server.Port());
  run.user = server.User();
  run.password = server.Password();
  run.includeDirs = true;
  run.includeSubDirs = true;
  run.typeCommand = "TYPE I";
  run.names = names;
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  try {
    const fs::path program =
        argc > 1 ? fs::path(argv[1])
                 : fs::canonical("/proc/self/exe").parent_path().parent_path() / "tarnex";
    const int runs = std::max(3, argc > 2 ? std::atoi(argv[2]) : 3);
    if (!fs::exists(program)) throw std::runtime_error("no program at " + program.string());

    FtpServer server;
    const fs::path work = fs::temp_directory_path() / "tarnex-batch-bench";
    fs::remove_all(work);
    const fs::path tree = work / "tree";
    int files = 0;
    for (int d = 0; d < kTopDirs; ++d) {
      const fs::path top = tree / ("dir" + std::to_string(d));
      fs::create_directories(top / "sub");
      for (int i = 0; i < kFilesPerDir; ++i, files += 2) {
        MakeFile((top / ("f" + std::to_string(i) + ".bin")).string(), 512 + 97 * i);
        MakeFile((top / "sub" / ("g" + std::to_string(i) + ".bin")).string(), 1024 + 31 * i);
      }
    }
    const fs::path programDir = work / "prog";
    fs::create_directories(programDir);
    fs::copy_file(program, programDir / "tarnex");
    std::ofstream(programDir / "TARNEX.INI")
        << "[LastUsed]\r\nNAME=B\r\n[B]\r\nHostName=127.0.0.1\r\nPort=" << server.Port()
        << "\r\nUserName=" << server.User() << "\r\nPassword=" << server.Password()
        << "\r\nDirectory=batch\r\nIncludeDirs=1\r\nIncludeSubDirs=1\r\nTransferType=2\r\n"
           "UseLogFile=0\r\n[Fixed]\r\nOK=1\r\n";

    std::string programLine = "cd '" + tree.string() + "' && QT_QPA_PLATFORM=offscreen '" +
                              (programDir / "tarnex").string() + "'";
    std::string curlLine = "curl -s -P 127.0.0.1 --ftp-create-dirs";
    const std::string url = "ftp://" + server.User() + ":" + server.Password() + "@127.0.0.1:" +
                            std::to_string(server.Port()) + "/curl/";
    for (int d = 0; d < kTopDirs; ++d) programLine += " dir" + std::to_string(d);
    for (const auto& entry : fs::recursive_directory_iterator(tree))
      if (entry.is_regular_file()) {
        const std::string rel = fs::relative(entry.path(), tree).string();
        curlLine += " -T '" + entry.path().string() + "' '" + url + rel + "'";
      }

    std::vector<double> programTimes, curlTimes;
    for (int r = 0; r < runs; ++r) {
      fs::remove_all(server.Root() / "batch");
      fs::remove_all(server.Root() / "curl");
      fs::create_directories(server.Root() / "batch");
      programTimes.push_back(TimedShell(programLine));  // exit code 0 or it throws
      CheckWhole("the program", tree, server.Root() / "batch");
      curlTimes.push_back(TimedShell(curlLine));
      CheckWhole("curl", tree, server.Root() / "curl");
    }

    // In process: the same tree, with the pauses timed.
    for (int d = 0; d < kTopDirs; ++d) fs::remove_all(server.Root() / ("dir" + std::to_string(d)));
    TimingUI ui;
    FtpEngine engine(ui, programDir.string() + "/");
    engine.LogEnabled = false;
    engine.VerifyUploads = true;  // as the program's own run does
    PauseClock pauses;
    pauses.ui = &ui;
    for (QTimer* timer : engine.Sleeper1.findChildren<QTimer*>()) timer->installEventFilter(&pauses);
    std::vector<std::string> names;
    for (int d = 0; d < kTopDirs; ++d) names.push_back((tree / ("dir" + std::to_string(d))).string());
    const auto start = Clock::now();
    if (BatchUpload(engine, RunFor(server, names)) != BatchResult::Finished || ui.boxes != 0)
      throw std::runtime_error("the in-process run did not store every file");
    const double inProcess = Seconds(start);
    for (int d = 0; d < kTopDirs; ++d) {
      const std::string dir = "dir" + std::to_string(d);
      CheckWhole("the in-process run", tree / dir, server.Root() / dir);
    }

    Print("tree_files", static_cast<long long>(files));
    Print("runs_each", static_cast<long long>(runs));
    Print("program_median_s", Median(programTimes));
    Print("curl_median_s", Median(curlTimes));
    Print("program_files_per_s", files / Median(programTimes));
    Print("curl_files_per_s", files / Median(curlTimes));
    Print("curl_over_program_speed", Median(programTimes) / Median(curlTimes));
    Print("in_process_s", inProcess);
    Print("pauses_measured", static_cast<long long>(pauses.pauses));
    Print("pause_measured_s", pauses.pausedSeconds);
    Print("pause_share_measured", pauses.pausedSeconds / inProcess);

    // One big file, in process, next to curl.
    const std::string big = (work / "big.bin").string();
    MakeFile(big, kBigSize);
    TimingUI bigUi;
    FtpEngine bigEngine(bigUi, programDir.string() + "/");
    bigEngine.LogEnabled = false;
    bigEngine.VerifyUploads = true;
    const auto bigStart = Clock::now();
    if (BatchUpload(bigEngine, RunFor(server, {big})) != BatchResult::Finished)
      throw std::runtime_error("the big file was not stored");
    const double bigBatch = Seconds(bigStart);
    if (FileSize((server.Root() / "big.bin").string()) != kBigSize)
      throw std::runtime_error("the big file did not arrive whole");
    fs::remove(server.Root() / "big.bin");
    const double bigCurl =
        TimedShell("curl -s -P 127.0.0.1 -T '" + big + "' '" + url + "big.bin'");
    if (FileSize((server.Root() / "curl" / "big.bin").string()) != kBigSize)
      throw std::runtime_error("curl's big file did not arrive whole");

    Print("big_file_bytes", kBigSize);
    Print("big_batch_s", bigBatch);
    Print("big_curl_s", bigCurl);
    Print("big_batch_mib_s", kBigSize / 1048576.0 / bigBatch);
    Print("big_curl_mib_s", kBigSize / 1048576.0 / bigCurl);
    Print("big_curl_over_batch_speed", bigBatch / bigCurl);

    fs::remove_all(work);
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "batch_bench: " << e.what() << "\n";
    return 1;
  }
}
