// Real round trips against pyftpdlib, in active and passive mode, on
// 127.0.0.1 (passive: with active mode refused) and on ::1 (named in
// brackets): every byte kept both ways, in both types; listing and view.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "faults/FaultCatalogue.h"
#include "support/FtpServer.h"

namespace {

std::string RandomBytes(size_t n) {
  std::mt19937 gen(static_cast<unsigned>(n));
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(gen() & 0xff);
  return s;
}

TEST(RealServer, ListGetAndPutKeepEveryByte) {
  for (const auto& [host, passive] : std::vector<std::pair<std::string, bool>>{
           {"127.0.0.1", false}, {"127.0.0.1", true}, {"::1", true}, {"::1", false}}) {
    SCOPED_TRACE(host + (passive ? " passive" : " active"));
    ::setenv("TARNEX_FTPD_HOST", host.c_str(), 1);
    ::setenv("TARNEX_FTPD_NO_ACTIVE", passive ? "1" : "", 1);
    FtpServer server;
    EngineHarness h;
    h.engine.RetrieveTimeout = h.engine.StoreTimeout = 10;
    h.engine.DirSep = h.engine.ViewSep = "0";
    h.engine.Passive = passive;
    ASSERT_TRUE(OpenControlConnection(h.engine, host == "::1" ? "[::1]" : host, std::to_string(server.Port())));
    h.engine.Connected = true;
    ShowConnectionAddresses(h.engine);
    ReadGreeting(h.engine);
    Login(h.engine, server.User(), server.Password(), "");
    ASSERT_EQ(h.engine.Memo.LastReplyCode(), 230);
    server.WriteFile("notes.txt", "line one\nline two\n");  // LF on the server, CR LF on the wire

    struct Row { std::string name, data, type; bool put; };
    for (const Row& row : std::vector<Row>{{"empty.bin", "", "TYPE I", true},
                                           {"small.bin", RandomBytes(1000), "TYPE I", true},
                                           {"large.bin", RandomBytes(3 * 1024 * 1024 + 7), "TYPE I", true},
                                           {"notes.txt", "line one\r\nline two\r\n", "TYPE A", false}}) {
      SCOPED_TRACE(row.name);
      if (row.put) {
        h.dir.WriteFile(row.name, row.data);
        h.engine.StoreFile(row.type, row.name, row.name);
        EXPECT_EQ(h.engine.LastReply.substr(0, 3), "226");
        EXPECT_TRUE(server.Exists(row.name) && server.ReadFile(row.name) == row.data);
      }
      h.engine.Retrieve(row.name, "back-" + row.name, row.type);
      EXPECT_EQ(h.engine.LastReply.substr(0, 3), "226");
      EXPECT_TRUE(h.dir.ReadFile("back-" + row.name) == row.data);
    }
    h.engine.ListRemote("LIST");
    h.engine.Retrieve("notes.txt", "", "TYPE A");  // a view in the transcript
    for (std::string line : {std::string(" 3145735 "), std::string("line two"),
                             passive ? "Opening data connection to " + host + " port " : host == "::1" ? "EPRT |2|::1|" : "PORT "})
      EXPECT_TRUE(h.ui.HasLineContaining(line)) << line;  // the listing, the view, and how data went
    EXPECT_EQ(h.ui.HasLineContaining("IP: ::1 connected"), host == "::1");
    EXPECT_TRUE(h.ui.boxes.empty());
    EXPECT_EQ(h.engine.SendCommand("NOOP"), 2);
  }
}

}  // namespace
