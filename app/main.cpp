// Entry routine of Tarnex: finds the program folder, reads whether a
// configuration is stored, and starts interactively or as a batch upload.
#include <QApplication>
#include <csignal>
#include <memory>
#include <string>
#include <vector>

#include "settings/Startup.h"
#include "ui/FTPForm.h"
#include "ui/MeterDLG.h"

namespace {
std::string FindProgramDir() {
  std::string path = QCoreApplication::applicationFilePath().toStdString();
  size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir;
}
}  // namespace

int main(int argc, char** argv) {
  // A write past a file-size limit must fail with an error, not end the
  // program; a peer that closes must not end it either.
  std::signal(SIGXFSZ, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);

  QApplication app(argc, argv);
  const std::string programDir = FindProgramDir();
  std::vector<std::string> names;
  for (int i = 1; i < argc; ++i) names.emplace_back(argv[i]);

  const bool batch = ReadConfiguredFlag(programDir + "TARNEX.INI") && !names.empty();
  if (batch) {
    // The progress dialog comes first and is the window of the run; the
    // main window is created hidden and runs the upload as it is made.
    TMeterDLG meter;
    TFTPForm form(programDir, names, &meter);
    switch (form.BatchOutcome) {
      case BatchResult::Finished: return 0;
      case BatchResult::ConnectFailed:
      case BatchResult::ConnectionLost:
      case BatchResult::Stopped: return 2;
    }
    return 0;
  }

  TMeterDLG meter;
  TFTPForm form(programDir, names, &meter);
  form.show();
  return app.exec();
}
