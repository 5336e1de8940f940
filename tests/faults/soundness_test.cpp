// Fault catalogue, soundness: a lost control connection, Cancel Transfer
// while a step waits, a second transfer inside a running one, a refused Get,
// data text in small pieces or without line ends, and a store whose data
// connection fails or never goes quiet.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "FaultCatalogue.h"

namespace {

// Runs `action` on the engine's event loop after `ms`, inside whatever call waits.
void At(EngineHarness& h, int ms, std::function<void()> action) {
  QTimer::singleShot(ms, &h.engine.Sockets1, std::move(action));
}

// A row whose wait only Cancel Transfer ends: when the cancel does not end
// it, the row fails here instead of hanging.
void Watchdog(EngineHarness& h) {
  At(h, 5000, [] {
    if (!TSockets::WSAIsBlocking()) return;
    ADD_FAILURE() << "still waiting after Cancel Transfer";
    TSockets::WSACancelBlockingCall();
  });
}

std::vector<std::string> OneByOne(const std::string& text) {
  std::vector<std::string> pieces;
  for (char c : text) pieces.emplace_back(1, c);
  return pieces;
}

// Stands in for a server that connects to the announced port and then
// sends without pause until the client closes (or 8 s have passed).
void Flood(ScriptedPeer& peer) {
  if (!peer.WaitForCommands(3, 5000)) return;
  const std::string port = peer.Commands()[1];  // PORT h1,h2,h3,h4,p1,p2
  int p1 = 0, p2 = 0;
  size_t comma = port.rfind(',');
  size_t before = port.rfind(',', comma - 1);
  p1 = std::stoi(port.substr(before + 1, comma - before - 1));
  p2 = std::stoi(port.substr(comma + 1));
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(p1 * 256 + p2));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
    timeval limit{0, 200000};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    const std::string block = Pattern(65536);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(8);
    while (std::chrono::steady_clock::now() < end) {
      ssize_t n = ::send(fd, block.data(), block.size(), MSG_NOSIGNAL);
      if (n < 0 && errno != EAGAIN) break;
    }
  }
  ::close(fd);
}

const char* kRetr = R"(
  < TYPE I | 200 Type set to I
  < PORT | 200 PORT ok
)";

std::vector<FaultRow> Rows() {
  std::vector<FaultRow> rows;

  // A reset control connection ends the session: one box, one line, and
  // the next command is not sent into it.
  rows.push_back({.name = "ResetControlIsALostConnection",
                  .script = [](ScriptedPeer& p) { p.Play("< PWD\nreset"); },
                  .run = [](EngineHarness& h, ScriptedPeer&) {
                    EXPECT_EQ(h.engine.SendCommand("PWD"), 5);
                    EXPECT_EQ(h.engine.SendCommand("CWD x"), 5);
                  },
                  .commands = {"PWD"},
                  .lines = {"Connection to 127.0.0.1 lost", "CWD x", "Not Connected"},
                  .thenNoop = false,
                  .boxesMayVary = true,
                  .check = [](EngineHarness& h, ScriptedPeer&) {
                    EXPECT_FALSE(h.engine.Connected);
                    EXPECT_EQ(h.ui.Boxes().size(), 1u);
                  }});

  // A cancel chosen while idle does not make the store read its replies
  // one late: the final 426 is seen and the store repeated.
  rows.push_back({.name = "StaleCancelDoesNotShiftStoreReplies",
                  .script = [](ScriptedPeer& p) {
                    p.Play(R"(
                      < TYPE I
                      pause 300
                      > 200 Type set to I
                      < PORT | 200 PORT ok
                      < STOR up.bin | 150 ok
                      data connect
                      data recv
                      data close
                      > 426 Connection closed; transfer aborted
                      < TYPE I | 200 Type set to I
                      < PORT | 200 PORT ok
                      < STOR up.bin | 150 ok
                      data connect
                      data recv
                      data close
                      > 226 done
                    )");
                  },
                  .run = [](EngineHarness& h, ScriptedPeer&) {
                    h.dir.WriteFile("up.bin", Pattern(1000));
                    h.engine.CancelTransfer();
                    h.engine.StoreFile("TYPE I", "up.bin", "up.bin");
                  },
                  .commands = {"TYPE I", "PORT", "STOR up.bin", "TYPE I", "PORT", "STOR up.bin"},
                  .lines = {"426 Connection closed; transfer aborted", "226 done"},
                  .check = [](EngineHarness&, ScriptedPeer& p) {
                    EXPECT_EQ(p.DataConnections(),
                              (std::vector<std::string>{Pattern(1000), Pattern(1000)}));
                  }});

  // Cancel Transfer ends whatever waits: a listing's first reply (which has
  // no time-out), the accept of the data connection, the store's close.
  rows.push_back({.name = "CancelEndsListingWaitingForItsFirstReply",
                  .script = [](ScriptedPeer& p) {
                    p.Play("< TYPE A | 200 ok\n< PORT | 200 ok\n< LIST");
                  },
                  .run = [](EngineHarness& h, ScriptedPeer&) {
                    h.engine.DirSep = "0";
                    Watchdog(h);
                    At(h, 300, [&h] { h.engine.CancelTransfer(); });
                    h.engine.ListRemote("LIST");
                  },
                  .commands = {"TYPE A", "PORT", "LIST"},
                  .lines = {"Could not list directory"}});
  rows.push_back({.name = "CancelEndsTheAcceptWait",
                  .script = [](ScriptedPeer& p) {
                    p.Play(kRetr);
                    p.Play("< RETR a | 150 Opening (5 bytes)\ndata refuse");
                  },
                  .run = [](EngineHarness& h, ScriptedPeer&) {
                    h.engine.RetrieveTimeout = 30;
                    Watchdog(h);
                    At(h, 300, [&h] { h.engine.CancelTransfer(); });
                    h.engine.Retrieve("a", "a.out", "TYPE I");
                  },
                  .commands = {"TYPE I", "PORT", "RETR a"},
                  .boxes = {"Could not extablish data socket, operation canceled"}});
  rows.push_back({.name = "CancelEndsTheStoreClose",
                  .script = [](ScriptedPeer& p) {
                    p.Play(R"(
                      < TYPE I | 200 Type set to I
                      < PORT | 200 PORT ok
                      < STOR up.bin | 150 ok
                      data connect
                      data stall 1200
                      urgent
                      < ABOR | 226 Abort successful
                      data close
                    )");
                  },
                  .run = [](EngineHarness& h, ScriptedPeer&) {
                    h.engine.StoreTimeout = 30;
                    h.dir.WriteFile("up.bin", Pattern(1000));
                    Watchdog(h);
                    At(h, 700, [&h] { h.engine.CancelTransfer(); });
                    h.engine.StoreFile("TYPE I", "up.bin", "up.bin");
                  },
                  .commands = {"TYPE I", "PORT", "STOR up.bin", "ABOR"},
                  .lines = {"226 Abort successful", "Transfer aborted due to you're request"}});
  // A stranger that connects first does not start the wait for the
  // server's data connection again: it still ends at the time-out (1 s).
  rows.push_back({.name = "RefusedStrangerKeepsTheAcceptDeadline",
                  .script = [](ScriptedPeer& p) {
                    p.Play(kRetr);
                    p.Play(R"(
                      < RETR a | 150 Opening (5 bytes)
                      pause 700
                      data from 127.0.0.2
                      data close
                      pause 600
                      data connect
                      data send hello
                      data close
                      > 226 done
                    )");
                  },
                  .run = [](EngineHarness& h, ScriptedPeer&) {
                    Watchdog(h);
                    h.engine.Retrieve("a", "a.out", "TYPE I");
                  },
                  .commands = {"TYPE I", "PORT", "RETR a"},
                  .boxes = {"Error: 10004\r\nInterrupted system call",
                            "Could not extablish data socket, operation canceled"},
                  .lines = {"Data connection from 127.0.0.2 refused: the server is 127.0.0.1"},
                  .thenNoop = false});

  // The store's close ends at its time-out even when the server never stops
  // sending; the store then ends as a cancelled one.
  rows.push_back({.name = "StoreCloseEndsWhileTheServerKeepsSending",
                  .script = [](ScriptedPeer& p) {
                    p.Play(R"(
                      < TYPE I | 200 Type set to I
                      < PORT | 200 PORT ok
                      < STOR up.bin | 150 ok
                      urgent
                      < ABOR | 226 Abort successful
                    )");
                  },
                  .run = [](EngineHarness& h, ScriptedPeer& p) {
                    h.dir.WriteFile("up.bin", Pattern(1000));
                    std::thread server([&p] { Flood(p); });
                    Watchdog(h);
                    h.engine.StoreFile("TYPE I", "up.bin", "up.bin");
                    server.join();
                  },
                  .commands = {"TYPE I", "PORT", "STOR up.bin", "ABOR"},
                  .boxes = {"Error: 10004\r\nInterrupted system call"},
                  .lines = {"Transfer aborted due to you're request"}});

  // A data connection reset half way: one box, no more blocks, the normal
  // end, and the 426 repeat sends the file whole.
  rows.push_back({.name = "FailedSendEndsTheDataPhase",
                  .script = [](ScriptedPeer& p) {
                    p.Play(R"(
                      < TYPE I | 200 Type set to I
                      < PORT | 200 PORT ok
                      < STOR big.bin | 150 ok
                      data connect
                      data stall 200
                      data reset
                      > 426 Connection reset; transfer aborted
                      < TYPE I | 200 Type set to I
                      < PORT | 200 PORT ok
                      < STOR big.bin | 150 ok
                      data connect
                      data recv
                      data close
                      > 226 done
                    )");
                  },
                  .run = [](EngineHarness& h, ScriptedPeer&) {
                    h.dir.WriteFile("big.bin", Pattern(8000000));
                    h.engine.StoreFile("TYPE I", "big.bin", "big.bin");
                  },
                  .commands = {"TYPE I", "PORT", "STOR big.bin", "TYPE I", "PORT", "STOR big.bin"},
                  .lines = {"426 Connection reset; transfer aborted",
                            "Total bytes written to remote host: 8000000", "226 done"},
                  .boxesMayVary = true,
                  .check = [](EngineHarness& h, ScriptedPeer& p) {
                    EXPECT_EQ(h.ui.Boxes().size(), 1u);
                    ASSERT_EQ(p.DataConnections().size(), 2u);
                    EXPECT_EQ(p.DataConnections()[1], Pattern(8000000));
                  }});

  // A Get chosen while a retrieval waits for its data is refused; the
  // running one is not disturbed.
  rows.push_back({.name = "SecondTransferInsideARunningOneIsRefused",
                  .script = [](ScriptedPeer& p) {
                    p.Play(kRetr);
                    p.Play(R"(
                      < RETR a | 150 Opening (5 bytes)
                      pause 500
                      data connect
                      data send hello
                      data close
                      > 226 done
                    )");
                  },
                  .run = [](EngineHarness& h, ScriptedPeer&) {
                    h.dir.WriteFile("b.out", "mine");
                    At(h, 200, [&h] { h.engine.Retrieve("b", "b.out", "TYPE I"); });
                    h.engine.Retrieve("a", "a.out", "TYPE I");
                  },
                  .commands = {"TYPE I", "PORT", "RETR a"},
                  .lines = {"Transfer already in progress, request ignored", "226 done"},
                  .file = std::make_pair("a.out", "hello"),
                  .check = [](EngineHarness& h, ScriptedPeer&) {
                    EXPECT_EQ(h.dir.ReadFile("b.out"), "mine");
                  }});

  // A refused Get leaves a file of that name as it was.
  rows.push_back({.name = "RefusedGetKeepsTheLocalFile",
                  .script = [](ScriptedPeer& p) {
                    p.Play(kRetr);
                    p.Play("< RETR a | 550 No such file");
                  },
                  .run = [](EngineHarness& h, ScriptedPeer&) {
                    h.dir.WriteFile("a.out", "precious");
                    h.engine.Retrieve("a", "a.out", "TYPE I");
                  },
                  .commands = {"TYPE I", "PORT", "RETR a"},
                  .lines = {"Could not retrieve file"},
                  .file = std::make_pair("a.out", "precious")});

  // Listing text that comes one byte at a time is shown whole.
  rows.push_back({.name = "TrickledListingIsShownWhole",
                  .script = [](ScriptedPeer& p) {
                    p.Play("< TYPE A | 200 ok\n< PORT | 200 ok\n< LIST | 150 Here it comes\n"
                           "data connect");
                    p.DataSendPieces(OneByOne("ab\r\nc\r\n"), 20);
                    p.Play("data close\n> 226 done");
                  },
                  .run = [](EngineHarness& h, ScriptedPeer&) {
                    h.engine.DirSep = "0";
                    h.engine.ListRemote("LIST");
                  },
                  .commands = {"TYPE A", "PORT", "LIST"},
                  .lines = {"ab", "c", "226 done"}});

  // Viewed text without line ends is cut into lines of the reply lines' cap.
  rows.push_back({.name = "ViewTextWithoutLineEndsIsCut",
                  .script = [](ScriptedPeer& p) {
                    p.Play("< TYPE A | 200 ok\n< PORT | 200 ok\n< RETR v | 150 Opening\n"
                           "data connect");
                    p.DataSend(std::string(Transcript::kMaxLine + 10, 'x') + "\r\nend\r\n");
                    p.Play("data close\n> 226 done");
                  },
                  .run = [](EngineHarness& h, ScriptedPeer&) {
                    h.engine.ViewSep = "0";
                    h.engine.Retrieve("v", "", "TYPE A");
                  },
                  .commands = {"TYPE A", "PORT", "RETR v"},
                  .lines = {std::string(Transcript::kMaxLine, 'x'), "xxxxxxxxxx", "end"}});

  // Far more bytes than announced: the percentage stays a number.
  rows.push_back({.name = "ProgressFarPastTheAnnouncedSize",
                  .run = [](EngineHarness& h, ScriptedPeer&) {
                    h.engine.ShowProgress(22'000'000, 1);
                    EXPECT_EQ(h.ui.ProgressHistory().back().caption, "2147483647% Complete");
                  }});
  return rows;
}

}  // namespace

FAULT_GROUP(Soundness, Rows);
