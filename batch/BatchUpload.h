#pragma once
// The unattended upload of the names given on the command line.
#include <functional>
#include <string>
#include <vector>

#include "batch/PathHelpers.h"
#include "ftp/FtpEngine.h"

struct BatchRun {
  // From the last-used profile.
  std::string host, port, user, password, account, directory;
  // Batch options of the profile.
  bool includeDirs = false;
  bool includeSubDirs = false;
  bool useLowerCase = false;
  std::string initializeCommand;
  bool passive = false;  // the profile's passive mode
  // The profile's TLS choice (0, 1, 2) and trusted certificate fingerprint.
  int security = 0;
  std::string trustedCertificate;
  // "TYPE A", "TYPE I", "TYPE E" or empty.
  std::string typeCommand;
  std::vector<std::string> names;
  // Names among them that are relative to a start folder the system could
  // not name: any file they found would be the wrong one, so none is sent.
  std::vector<std::string> unplaced;
  // After a lost connection (or a broken data connection) the run connects
  // again, up to this many tries in a row; 0: the run ends there.
  int reconnectTries = 0;
  // Waits the seconds before try `attempt` of `tries`; false when the user
  // ended the wait (and with it the run). Without it, no time passes.
  std::function<bool(int seconds, int attempt, int tries)> waitToReconnect;
};

// A run under way: what it needs to go on after connecting again.
struct BatchWalk {
  FtpEngine& engine;
  const BatchRun& run;
  std::vector<std::string> remoteDirs;  // entered below the profile's directory, in order
  int failedTries = 0;                  // tries in a row since the last stored file
};

enum class BatchResult {
  Finished,        // every name handled and every file stored; the program may quit
  NotAllStored,    // the run ended, but at least one file was not stored
  ConnectFailed,   // the control connection could not be opened
  ConnectionLost,  // the control connection went away during the run
  Stopped,         // an error (such as a log that cannot be written) ended it
};

// Connects, logs in, changes to the profile's directory, sends the
// initialize command and uploads every name. A refused login ends the
// program through the user interface (exit code 1).
BatchResult BatchUpload(FtpEngine& engine, const BatchRun& run);
// The program's exit code for a run's outcome: 0, 3 when a file was not
// stored, 2 when the run could not go on.
int ExitCode(BatchResult result);

// The one line that sums a run up for the desktop: "Stored 7 of 7 files on
// HOST", "3 of 10 files not stored on HOST: see LOG", and the like.
std::string RunSummary(const FtpEngine& engine, const BatchRun& run, BatchResult result);

// Counts a file as attempted and not stored, with its transcript and log line.
void PassedOver(FtpEngine& engine, const std::string& name, const std::string& why);

// Uploads the files of a local directory into the current remote directory,
// then each sub-directory (created, entered, filled, left), and ends with
// "CDUP". Stops at once, sending nothing more, when the control connection
// is lost for good.
void UploadDirectory(BatchWalk& walk, const std::string& dir);
// Stores the regular files of the directory at path (hidden ones only when
// `hidden`), telling each entry and a listing that cannot be read; stops
// when the control connection is gone for good. Gives the listing.
std::vector<DirEntry> StoreFilesOf(BatchWalk& walk, const std::string& path, bool hidden);
// A remote directory that could not be entered: one line says so, and the
// files that would have gone into it (the whole tree, or the visible files
// of localDir alone) count as not stored.
void PassedOverDirectory(FtpEngine& engine, const std::string& remoteName, const std::string& localDir,
                         bool tree);

// The start of every connection of a run: connect, TLS, log in, enter the
// profile's directory (made when missing), the initialize command. A
// refused login ends the program
// (exit code 1). `again`: a reconnect, which enters the directories the
// run was in as well and tells less. Finished when the run may go on.
BatchResult StartRun(BatchWalk& walk, bool again);
// Runs a step (commands on the control connection) and, each time the
// connection was lost during it and the run connected again, runs it
// again. False when the run cannot go on.
bool Recovering(BatchWalk& walk, const std::function<void()>& step);
// Stores one file, and after a lost connection (or a broken data
// connection) connects again and goes on with it where the server's copy
// ends, when the server can. False when the run cannot go on.
bool StoreRecovering(BatchWalk& walk, const std::string& localPath, const std::string& name);
