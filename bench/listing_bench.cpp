// A listing of 100,000 lines shown in the transcript of the real main
// window (offscreen): how long it takes, and the largest gap between two
// ticks of the event loop while it runs. The same listing into the test
// recorder (no widgets) runs side by side as the baseline.
//
// Prints name=value lines:
//   lines, window_seconds, engine_only_seconds, window_to_engine_ratio,
//   max_tick_gap_ms, ticks, shown_lines
#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ftp/FtpEngine.h"
#include "ftp/Session.h"
#include "support/RecordingUI.h"
#include "support/ScriptedPeer.h"
#include "support/TempProgramDir.h"
#include "ui/FTPForm.h"
#include "ui/MeterDLG.h"

namespace {

constexpr int kLines = 100000;

std::string ListingData() {
  std::string data;
  data.reserve(static_cast<size_t>(kLines) * 72);
  char line[128];
  for (int i = 0; i < kLines; ++i) {
    std::snprintf(line, sizeof line,
                  "-rw-r--r--   1 owner    group    %9d Jan 01 12:00 file-%06d.txt\r\n",
                  (i * 7919) % 1000000, i);
    data += line;
  }
  return data;
}

void Script(ScriptedPeer& peer, const std::string& data) {
  std::string escaped;  // the listing as one script line: its line ends written as \r\n
  for (char c : data) escaped += c == '\r' ? "\\r" : c == '\n' ? "\\n" : c == '\\' ? "\\\\" : std::string(1, c);
  peer.Play("> 220 ready\n< USER | 230 in\n< TYPE A | 200 ok\n< PORT | 200 ok\n< LIST | 150 here it comes\n"
            "data connect\ndata send " + escaped + "\ndata close\n> 226 done");
  peer.Start();
}

bool Login(FtpEngine& engine, int port) {
  if (!OpenControlConnection(engine, "127.0.0.1", std::to_string(port))) return false;
  engine.Connected = true;
  ReadGreeting(engine);
  Login(engine, "bench", "", "");
  return true;
}

// Seconds for a listing into the recorder, without any widget.
double EngineOnly(const std::string& data) {
  TempProgramDir dir;
  RecordingUI ui;
  FtpEngine engine(ui, dir.Dir());
  ScriptedPeer peer;
  Script(peer, data);
  if (!Login(engine, peer.Port())) return -1;
  QElapsedTimer clock;
  clock.start();
  engine.ListRemote("LIST");
  return clock.nsecsElapsed() / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  const std::string data = ListingData();

  const double engineOnly = EngineOnly(data);

  TempProgramDir dir;
  dir.WriteFile("TARNEX.INI", "[options]\r\nDirSep=0\r\nViewSep=0\r\nEditor=true\r\n");
  TMeterDLG meter;
  RecordingUI boxes;
  TFTPForm form(dir.Dir(), {}, &meter, &boxes);
  form.show();
  QApplication::processEvents();

  ScriptedPeer peer;
  Script(peer, data);
  if (!Login(form.Engine(), peer.Port())) {
    std::fprintf(stderr, "could not connect to the scripted peer\n");
    return 1;
  }

  // The event loop's heartbeat: the largest interval between two ticks.
  QElapsedTimer sinceTick;
  qint64 maxGap = 0;
  int ticks = 0;
  QTimer tick;
  tick.setInterval(5);
  QObject::connect(&tick, &QTimer::timeout, [&] {
    const qint64 gap = sinceTick.restart();
    if (ticks++ > 0 && gap > maxGap) maxGap = gap;
  });

  QElapsedTimer clock;
  clock.start();
  sinceTick.start();
  tick.start();
  form.Engine().ListRemote("LIST");
  form.FlushTranscript();  // whatever the listing left to show
  QApplication::processEvents();
  const double window = clock.nsecsElapsed() / 1e9;
  const qint64 finalGap = sinceTick.elapsed();
  if (finalGap > maxGap) maxGap = finalGap;
  tick.stop();

  std::printf("lines=%d\n", kLines);
  std::printf("window_seconds=%.3f\n", window);
  std::printf("engine_only_seconds=%.3f\n", engineOnly);
  std::printf("window_to_engine_ratio=%.2f\n", engineOnly > 0 ? window / engineOnly : 0.0);
  std::printf("max_tick_gap_ms=%lld\n", static_cast<long long>(maxGap));
  std::printf("ticks=%d\n", ticks);
  std::printf("shown_lines=%d\n", form.Memo1->document()->blockCount());
  return 0;
}
