// Real round trips against pyftpdlib: get, put, listing and view.
#include <gtest/gtest.h>

#include <random>

#include "EngineHarness.h"
#include "support/FtpServer.h"

namespace {

std::string RandomBytes(size_t n) {
  std::mt19937 gen(42);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(gen() & 0xff);
  return s;
}

struct RealServer : ::testing::Test {
  FtpServer server;
  EngineHarness h;
  void SetUp() override {
    h.engine.RetrieveTimeout = 10;
    h.engine.StoreTimeout = 10;
    ASSERT_TRUE(h.Connect(server.Port()));
    Login(h.engine, server.User(), server.Password(), "");
    ASSERT_EQ(h.engine.Memo.LastReplyCode(), 230);
  }
};

TEST_F(RealServer, PutAndGetKeepEveryByte) {
  for (size_t size : {size_t{0}, size_t{1000}, size_t{3} * 1024 * 1024 + 7}) {
    SCOPED_TRACE(size);
    const std::string data = RandomBytes(size);
    const std::string name = "file" + std::to_string(size) + ".bin";
    h.dir.WriteFile(name, data);
    h.engine.StoreFile("TYPE I", name, name);
    ASSERT_TRUE(server.Exists(name));
    EXPECT_EQ(server.ReadFile(name), data);
    EXPECT_EQ(h.engine.LastReply.substr(0, 3), "226");

    h.engine.Retrieve(name, "back-" + name, "TYPE I");
    EXPECT_EQ(h.dir.ReadFile("back-" + name), data);
    EXPECT_EQ(h.engine.LastReply.substr(0, 3), "226");
  }
  EXPECT_NE(h.dir.ReadLog().find("Total bytes written to remote host :1000\r\n"),
            std::string::npos);
  EXPECT_TRUE(h.ui.Boxes().empty());
}

TEST_F(RealServer, ListingAndViewInTheTranscript) {
  server.WriteFile("notes.txt", "line one\r\nline two\r\n");
  h.engine.DirSep = "0";
  h.engine.ViewSep = "0";
  h.engine.ListRemote("LIST");
  EXPECT_TRUE(h.ui.HasLineContaining("notes.txt"));
  h.engine.Retrieve("notes.txt", "", "TYPE A");
  EXPECT_TRUE(h.ui.HasLine("line one"));
  EXPECT_TRUE(h.ui.HasLine("line two"));
  EXPECT_TRUE(h.ui.Boxes().empty());
  EXPECT_EQ(h.engine.SendCommand("NOOP"), 2);  // the session goes on
}

}  // namespace
