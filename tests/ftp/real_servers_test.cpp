// Against real servers, pyftpdlib and vsftpd: round trips in active and
// passive mode, on 127.0.0.1 and ::1 (named in brackets), in clear and with
// explicit TLS that vsftpd requires for the login and the data (session
// reuse on every data connection), every byte kept in both types and text
// lines ending in LF here; then Cancel Transfer during a Get, a listing and
// a Put, each followed by a command that must get its own reply.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <regex>

#include "faults/FaultCatalogue.h"
#include "support/FtpServer.h"

namespace {

std::string RandomBytes(size_t n) {
  std::mt19937 gen(static_cast<unsigned>(n));
  std::string bytes(n, '\0');
  for (char& c : bytes) c = static_cast<char>(gen() & 0xff);
  return bytes;
}

// Text over several blocks: lines that end in LF, and in LF or CR LF here.
std::string Lines(const std::string& cr) {
  std::string text;
  for (int i = 0; i < 300; ++i) text += "line " + std::to_string(i) + (i % 3 ? "\n" : cr + "\n");
  return text + "end";
}

struct Server {
  const char* name;
  FtpServer::Kind kind;
  std::string host;
  bool passive, tls;
  bool fast = false;
};

// Started, connected, through the TLS steps, logged in and, on vsftpd, in
// its writable folder.
struct Session {
  explicit Session(const Server& s) {
    ::setenv("TARNEX_FTPD_HOST", s.host.c_str(), 1);
    ::setenv("TARNEX_FTPD_NO_ACTIVE", s.passive ? "1" : "", 1);
    server.emplace(s.tls ? "explicit" : "", s.kind);
    h.engine.RetrieveTimeout = h.engine.StoreTimeout = 10;
    h.engine.Passive = s.passive;
    h.engine.FastTransfers = s.fast;
    h.engine.Tls.Security = s.tls ? 1 : 0;
    h.engine.Tls.TrustedCertificate = server->Fingerprint();
    EXPECT_TRUE(h.Connect(server->Port(), server->User(), server->Password(), s.host == "::1" ? "[::1]" : s.host));
    ShowConnectionAddresses(h.engine);
    EXPECT_TRUE(s.kind != FtpServer::Vsftpd || h.engine.SendCommand("CWD pub") == 2);
  }
  std::optional<FtpServer> server;
  EngineHarness h;
};

TEST(RealServers, ListGetAndPutKeepEveryByte) {
  std::map<std::string, std::string> said;  // the transcript and the log, numbers aside
  for (const Server& s : {Server{"pyftpdlib", FtpServer::Pyftpdlib, "127.0.0.1", false, false},
                          Server{"pyftpdlib passive", FtpServer::Pyftpdlib, "127.0.0.1", true, false},
                          Server{"pyftpdlib ::1 passive", FtpServer::Pyftpdlib, "::1", true, false},
                          Server{"pyftpdlib ::1", FtpServer::Pyftpdlib, "::1", false, false},
                          Server{"vsftpd passive", FtpServer::Vsftpd, "127.0.0.1", true, false},
                          Server{"vsftpd TLS passive", FtpServer::Vsftpd, "127.0.0.1", true, true},
                          Server{"pyftpdlib fast", FtpServer::Pyftpdlib, "127.0.0.1", false, false, true},
                          Server{"vsftpd TLS passive fast", FtpServer::Vsftpd, "127.0.0.1", true, true, true}}) {
    SCOPED_TRACE(s.name);
    Session session(s);
    EngineHarness& h = session.h;
    // Text: LF here and on the server, CR LF on the wire.
    struct Row { std::string name, data, type, kept; };
    for (const Row& row : std::vector<Row>{{"empty.bin", "", "TYPE I", ""},
                                           {"large.bin", RandomBytes(3 * 1024 * 1024 + 7), "TYPE I", RandomBytes(3 * 1024 * 1024 + 7)},
                                           {"notes.txt", Lines("\r"), "TYPE A", Lines("")}}) {
      SCOPED_TRACE(row.name);
      h.dir.WriteFile(row.name, row.data);
      h.engine.StoreFile(row.type, row.name, row.name);
      EXPECT_EQ(h.engine.LastReply.substr(0, 3), "226");
      EXPECT_TRUE(session.server->Exists(row.name) && session.server->ReadFile(row.name) == row.kept);
      h.engine.Retrieve(row.name, "back-" + row.name, row.type);
      EXPECT_EQ(h.engine.LastReply.substr(0, 3), "226");
      EXPECT_TRUE(h.dir.ReadFile("back-" + row.name) == row.kept);
    }
    h.engine.ListRemote("LIST");
    h.engine.Retrieve("notes.txt", "", "TYPE A");  // a view in the transcript
    for (std::string line : {std::string(" 3145735 "), std::string("line 299"),
                             s.passive ? "Opening data connection to " + s.host + " port " : s.host == "::1" ? "EPRT |2|::1|" : "PORT "})
      EXPECT_TRUE(h.ui.HasLineContaining(line)) << line;  // the listing, the view, and how data went
    EXPECT_EQ(h.ui.HasLineContaining("IP: ::1 connected"), s.host == "::1");
    EXPECT_EQ(h.ui.HasLineContaining("TLS connection: TLSv1."), s.tls);
    EXPECT_TRUE(h.ui.boxes.empty());
    EXPECT_EQ(h.ui.progress.size() < 1000, s.fast) << h.ui.progress.size() << " progress updates";
    EXPECT_EQ(h.engine.SendCommand("NOOP"), 2);
    said[s.name] = std::regex_replace(h.ui.TranscriptText() + h.dir.LogLines(), std::regex("[0-9]+"), "#");
  }
  // Fast mode says and sends what the default mode does, only sooner.
  EXPECT_EQ(said["pyftpdlib fast"], said["pyftpdlib"]);
}

// The server is still writing (or reading) the data when the cancel comes:
// more than the sockets' buffers hold.
enum class Op { Get, List, Put };

TEST(RealServers, CancelGivesTheWindowBackAndRepliesStayInStep) {
  const std::string big = RandomBytes(48 * 1024 * 1024);
  const std::string longName(200, 'n');
  const Server vsftpd{"vsftpd", FtpServer::Vsftpd, "127.0.0.1", true, false};
  const Server pyftpdlib{"pyftpdlib", FtpServer::Pyftpdlib, "127.0.0.1", false, false};
  const Server vsftpdTls{"vsftpd TLS", FtpServer::Vsftpd, "127.0.0.1", true, true};
  const Server fast{"vsftpd fast", FtpServer::Vsftpd, "127.0.0.1", true, false, true};
  for (const auto& [s, op] : std::vector<std::pair<Server, Op>>{
           {vsftpd, Op::Get}, {vsftpd, Op::List}, {vsftpd, Op::Put}, {vsftpdTls, Op::Get}, {fast, Op::Get}, {fast, Op::Put},
           {pyftpdlib, Op::Get}, {pyftpdlib, Op::List}, {pyftpdlib, Op::Put}}) {
    SCOPED_TRACE(std::string(s.name) + " " + "GLP"[static_cast<int>(op)]);
    Session session(s);
    EngineHarness& h = session.h;
    if (op == Op::Get) session.server->WriteFile("big.bin", big);
    for (int i = 0; op == Op::List && i < 15000; ++i) std::ofstream(session.server->Root() / (longName + std::to_string(i)));

    // Put: at the 200th block. Get: a while after the 1xx reply (pyftpdlib's
    // names no size to show progress with). List: at the first name.
    // In fast mode both right after the 1xx reply: a moment more moves all.
    if (op == Op::Put && !s.fast) CancelAtBlocks(h, {200});
    h.ui.lineHook = [&h, &longName, op, fast = s.fast](const std::string& line) {
      if ((op == Op::Get || fast) && line[0] == '1') QTimer::singleShot(fast ? 0 : 100, [&h] { h.engine.CancelTransfer(); });
      if (line.find(longName) != std::string::npos && !h.engine.AbortFlag) h.engine.CancelTransfer();
    };
    if (op == Op::Get) h.engine.Retrieve("big.bin", "big.bin", "TYPE I");
    if (op == Op::List) h.engine.ListRemote("LIST");
    if (op == Op::Put) h.dir.WriteFile("big.bin", big), h.engine.StoreFile("TYPE I", "big.bin", "big.bin");
    h.ui.lineHook = nullptr;
    EXPECT_TRUE(h.ui.boxes.empty()) << h.ui.boxes[0].text;
    EXPECT_TRUE(h.engine.Connected);
    // The server saw the transfer cut, and its reply starts a line even
    // after a listing cut mid-line. (pyftpdlib may take a cut upload for a
    // complete one when it sees the reset before the ABOR; under load a
    // whole listing may be in the loopback buffers before the cancel, and
    // then the ABOR finds nothing left to cut.)
    const bool cut = std::ranges::any_of(h.ui.lines, [](auto& line) { return line.starts_with("426 "); });
    EXPECT_TRUE(cut || (s.kind == FtpServer::Pyftpdlib && op == Op::Put) || (op == Op::List && session.server->LogText().find("ABOR") != std::string::npos));
    EXPECT_EQ(h.engine.SendCommand("PWD"), 2);
    EXPECT_EQ(h.engine.LastReply.substr(0, 4), "257 ");
    EXPECT_TRUE(op != Op::Get || h.dir.ReadFile("big.bin").size() < big.size());
  }
}

}  // namespace
