// Going on after a lost connection: the waits and tries, the way back to
// where the walk was, and the file that was in flight.
#include <algorithm>

#include <QScopedValueRollback>

#include "batch/BatchUpload.h"
#include "ftp/LocalFile.h"
#include "ftp/Session.h"

namespace {
constexpr int kFirstWaitSeconds = 2;
constexpr int kLongestWaitSeconds = 60;

// Connects again after the tries' waits; false (with the control connection
// closed and given up) when no try worked or the user ended the wait.
bool Recover(BatchWalk& walk) {
  FtpEngine& engine = walk.engine;
  const int tries = walk.run.reconnectTries;
  if (tries <= 0) return false;
  while (walk.failedTries < tries) {
    const int attempt = ++walk.failedTries;
    const int wait = std::min(kFirstWaitSeconds << std::min(attempt - 1, 5), kLongestWaitSeconds);
    const std::string why = engine.ControlError.empty() ? "the connection broke" : engine.ControlError;
    engine.ShowAndLog("Connection lost: " + EscapeControls(why) + "; connecting again in " +
                      std::to_string(wait) + " s (try " + std::to_string(attempt) + " of " +
                      std::to_string(tries) + ")");
    if (walk.run.waitToReconnect && !walk.run.waitToReconnect(wait, attempt, tries)) break;
    const BatchResult started = StartRun(walk, true);
    if (started == BatchResult::Finished) {
      engine.ShowAndLog("Connected again to " + walk.run.host);
      return true;
    }
    if (started == BatchResult::Stopped) break;  // not the connection: trying again would not help
  }
  if (walk.failedTries >= tries) engine.ShowAndLog("Giving up after " + std::to_string(tries) + " tries");
  if (engine.Sockets1.ConnectionSocket() != -1) engine.Sockets1.Disconnect();
  engine.LoseControl(FtpEngine::ControlState::Dropped, "the run gave up");
  return false;
}
}  // namespace

bool Recovering(BatchWalk& walk, const std::function<void()>& step) {
  for (;;) {
    step();
    if (!walk.engine.ControlGone()) return true;
    if (!Recover(walk)) return false;
  }
}

bool StoreRecovering(BatchWalk& walk, const std::string& localPath, const std::string& name) {
  FtpEngine& engine = walk.engine;
  const BatchRun& run = walk.run;
  int64_t from = 0;
  const QScopedValueRollback<bool> resumes(engine.ResumesBrokenStores, run.reconnectTries > 0);
  for (;;) {
    engine.StoreFile(run.typeCommand, localPath, name, from);
    // A data connection that broke with the control connection whole is
    // gone through the same way when the run may connect again.
    if (!engine.LastStoreBroken || run.reconnectTries <= 0) {
      if (engine.LastStoreOK) walk.failedTries = 0;
      return !engine.ControlGone();
    }
    // The next connection's start closes this one.
    engine.LoseControl(FtpEngine::ControlState::Dropped, "the data connection broke");
    --engine.FilesAttempted;  // counted again by the next try
    if (!Recover(walk)) {
      ++engine.FilesAttempted;
      return false;
    }
    // Only the file in flight goes on where the server's copy ends, and
    // only a binary one the server can take from a byte on.
    const std::string remote = engine.UseLowerCase ? LowerName(name) : name;
    from = 0;
    LocalFile probe;
    const int64_t size = probe.OpenForReading(localPath) ? probe.Size() : 0;
    // Some servers give no SIZE before the type is binary.
    if (run.typeCommand == "TYPE I" && engine.ServerOffersRestart() && engine.SendCommand("TYPE I") == 2) {
      const int64_t has = engine.RemoteSize(remote);
      if (has > 0 && has < size) {
        from = has;
        engine.ShowAndLog("Resuming " + EscapeControls(remote) + " at " + std::to_string(from) + " of " +
                          std::to_string(size) + " bytes");
      }
    }
  }
}
