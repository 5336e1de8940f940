// Entry routine of Tarnex: finds the program folder and the settings folder,
// reads whether a configuration is stored, and starts interactively or as a
// batch upload.
#include <QApplication>
#include <QMessageBox>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "settings/SettingsLocation.h"
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
  // TARNEX.INI and TARNEX.LOG live in this folder for the whole run: the
  // program folder when the user can write there, else ~/.config/tarnex/.
  const SettingsFolder settings = ChooseSettingsFolder(FindProgramDir());
  const std::string& settingsDir = settings.Folder;
  // Names are the user's, relative to the directory the program was started
  // in: start-up changes to the profile's local directory before the run.
  // A start folder the system cannot name (removed, or above a folder the
  // user may not read) leaves relative names unplaced: the run refuses them.
  std::vector<std::string> names, unplaced;
  const std::unique_ptr<char, decltype(&std::free)> startDir(::getcwd(nullptr, 0), &std::free);
  for (int i = 1; i < argc; ++i) {
    std::string name = argv[i];
    if (!name.empty() && name[0] != '/') {
      if (startDir) name = std::string(startDir.get()) + "/" + name;
      else unplaced.push_back(name);
    }
    names.push_back(name);
  }

  const bool batch = ReadConfiguredFlag(settingsDir + "TARNEX.INI") && !names.empty();
  if (!settings.Error.empty()) {
    std::fprintf(stderr, "tarnex: %s\n", settings.Error.c_str());
    if (!batch) QMessageBox::warning(nullptr, "Tarnex", QString::fromStdString(settings.Error));
  }
  if (batch) {
    // The progress dialog comes first and is the window of the run; the
    // main window is created hidden and runs the upload as it is made.
    TMeterDLG meter;
    TFTPForm form(settingsDir, names, &meter, nullptr, nullptr, unplaced);
    return ExitCode(form.BatchOutcome);
  }

  TMeterDLG meter;
  TFTPForm form(settingsDir, names, &meter);
  form.show();
  return app.exec();
}
