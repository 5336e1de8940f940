// Passive mode and IPv6 against pyftpdlib: on 127.0.0.1 refusing active
// mode, and on ::1 (named in brackets) in both modes; put, listing and get
// keep every byte.
#include <gtest/gtest.h>

#include <cstdlib>

#include "faults/FaultCatalogue.h"
#include "support/FtpServer.h"

namespace {

TEST(PassiveRealServer, PutListGet) {
  for (const auto& [host, passive] :
       std::vector<std::pair<std::string, bool>>{{"127.0.0.1", true}, {"::1", true}, {"::1", false}}) {
    SCOPED_TRACE(host + (passive ? " passive" : " active"));
    ::setenv("TARNEX_FTPD_HOST", host.c_str(), 1);
    ::setenv("TARNEX_FTPD_NO_ACTIVE", passive ? "1" : "", 1);
    FtpServer server;
    EngineHarness h;
    h.engine.Passive = passive;
    ASSERT_TRUE(OpenControlConnection(h.engine, host == "::1" ? "[::1]" : host, std::to_string(server.Port())));
    h.engine.Connected = true;
    ShowConnectionAddresses(h.engine);
    ReadGreeting(h.engine);
    Login(h.engine, server.User(), server.Password(), "");
    const std::string data = Pattern(200000);
    h.dir.WriteFile("up.bin", data), h.engine.StoreFile("TYPE I", "up.bin", "up.bin");
    h.engine.ListRemote("LIST");
    h.engine.Retrieve("up.bin", "back.bin", "TYPE I");
    EXPECT_TRUE(server.ReadFile("up.bin") == data && h.dir.ReadFile("back.bin") == data);
    for (std::string line : {std::string(" 200000 "), passive ? "Opening data connection to " + host + " port " : "EPRT |2|::1|"})
      EXPECT_TRUE(h.ui.HasLineContaining(line)) << line;  // the listing, and how data went
    EXPECT_EQ(h.ui.HasLineContaining("IP: ::1 connected"), host == "::1");
    EXPECT_TRUE(h.ui.Boxes().empty());
  }
}

}  // namespace
