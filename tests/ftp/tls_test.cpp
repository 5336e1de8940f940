// FTP over TLS: nothing in clear once TLS is asked for, the certificate
// decision before the login, and transfers through a server that requires
// TLS on both connections and session reuse on the data connection.
#include <gtest/gtest.h>

#include <array>

#include "faults/FaultCatalogue.h"
#include "support/FtpServer.h"

namespace {

// A server that refuses AUTH TLS is a row of the window's table.
TEST(Tls, StopsBeforeTheLoginWhenTheHandshakeFails) {
  const std::string tls = "> 220 ready\n< AUTH TLS | 234 go\n";
  for (auto [name, script, line] : std::vector<std::array<std::string, 3>>{
           {"garbage", tls + "> 220 this is no handshake", "TLS handshake failed: "},
           {"close mid-handshake", tls + "close", "TLS handshake failed: the server closed the connection"},
           {"silent", tls + "pause 4000", "TLS handshake failed: the wait was cancelled or timed out"},
           // A port that speaks TLS from the first byte sends no greeting.
           {"no greeting", "pause 4000", "No greeting came from the server: it may expect implicit TLS"}}) {
    SCOPED_TRACE(name);
    ScriptedPeer peer;
    peer.Play(script).Start();
    EngineHarness h;
    h.engine.Sockets1.Timeout = 1;
    h.engine.Tls.Security = 1;
    EXPECT_FALSE(h.Connect(peer.Port(), "joe", "secret"));
    EXPECT_TRUE(h.ui.HasLineContaining(line));
    // The greeting's time-out has its own box first.
    ASSERT_EQ(h.ui.boxes.size(), name == "no greeting" ? 2u : 1u);
    EXPECT_EQ(h.ui.boxes.back().caption, "TLS");
    EXPECT_TRUE(!h.engine.Connected && h.engine.Sockets1.ConnectionSocket() == -1);
    peer.Wait(5000);
    for (const std::string& c : peer.Commands()) EXPECT_EQ(c.find("USER"), std::string::npos) << c;
  }
}

// A refused PROT P ends the session at once: nothing could go in clear.
TEST(Tls, RefusedProtectionClosesTheConnection) {
  ::setenv("TARNEX_FTPD_FAULT", "refuse PROT", 1);
  FtpServer server("explicit");
  EngineHarness h;
  h.engine.Tls.Security = 1;
  h.engine.Tls.TrustedCertificate = server.Fingerprint();
  EXPECT_FALSE(h.Connect(server.Port(), server.User(), server.Password()));
  EXPECT_TRUE(h.ui.HasLine("The server refused protected data connections"));
  EXPECT_TRUE(!h.engine.Connected && h.engine.Sockets1.ConnectionSocket() == -1);
}

struct ServerRow {
  const char* name;
  const char* mode;        // explicit or implicit
  std::string trusted;     // the profile's fingerprint before the connect
  bool unattended, passive;
  BoxAnswer answer;        // to the certificate box
  const char* why;         // in the box, or in the log when unattended; "": no box
};

// The system trusts the server's certificate, which names ::1 only: asked at 127.0.0.1. Words of a
// row's name say how it logs in and what the server does (ftp_server.py). Every session that
// stands ends with bytes that are no TLS record, which the server answers with an alert.
TEST(Tls, CertificateDecisionAndTransfersThroughRequiringServer) {
  const ServerRow rows[] = {
      {"explicit, trusted now", "explicit", "", false, false, BoxAnswer::Yes, "certificate is not trusted: IP address mismatch"},
      // The password by Quote after the 331: the data is protected before the first transfer.
      {"implicit, passive, [::1], password by quote, cut data", "implicit", "", false, true, BoxAnswer::Yes, ""},
      {"changed, refused", "explicit", std::string(64, 'A'), false, false, BoxAnswer::No, "the server's certificate has changed"},
      {"batch run", "implicit", "", true, false, BoxAnswer::No, "certificate is not trusted"},
      {"other data certificate", "explicit", "", false, true, BoxAnswer::Yes, "IP address mismatch"},
  };
  for (const ServerRow& row : rows) {
    SCOPED_TRACE(row.name);
    const auto has = [&](const char* word) { return std::string(row.name).find(word) != std::string::npos; };
    ::setenv("TARNEX_FTPD_FAULT", row.name, 1);
    ::setenv("TARNEX_FTPD_HOST", has("[::1]") ? "::1" : "127.0.0.1", 1);
    FtpServer server(row.mode);
    ::setenv("SSL_CERT_FILE", (server.Root().parent_path() / "server.pem").c_str(), 1);
    EngineHarness h;
    h.engine.RetrieveTimeout = h.engine.StoreTimeout = 10;
    h.engine.DirSep = h.engine.ViewSep = "0";
    h.engine.Tls.Security = std::string(row.mode) == "explicit" ? 1 : 2;
    h.engine.Tls.TrustedCertificate = row.trusted;
    h.engine.Tls.Unattended = row.unattended;
    h.engine.Passive = row.passive;
    std::string stored;  // what the window would save in the profile
    h.engine.Tls.OnTrusted = [&](const std::string& fingerprint) { stored = fingerprint; };
    if (!row.unattended && *row.why) h.ui.answers.push_back(row.answer);
    const bool trusted = row.answer == BoxAnswer::Yes;

    EXPECT_EQ(h.Connect(server.Port(), server.User(), has("quote") ? "" : server.Password(), has("[::1]") ? "[::1]" : "127.0.0.1"), trusted);
    if (has("quote")) h.engine.SendCommand("PASS %s", {server.Password()});
    EXPECT_TRUE(h.ui.HasLineContaining("TLS connection: TLSv1."));
    EXPECT_EQ(h.ui.boxes.size(), row.unattended || !*row.why ? 0u : 1u);
    if (!h.ui.boxes.empty()) {  // the count is checked just above
      const RecordedBox& box = h.ui.boxes[0];
      EXPECT_EQ(box.caption, "Server certificate");
      EXPECT_NE(box.text.find("Subject: CN = tarnex test server"), std::string::npos) << box.text;
      EXPECT_NE(box.text.find(row.why), std::string::npos) << box.text;
      EXPECT_NE(box.text.find(" GMT\r\nValid until: "), std::string::npos) << box.text;
    }
    if (!trusted) {
      EXPECT_EQ(server.LogText().find("<- USER"), std::string::npos);
      EXPECT_EQ(h.engine.Sockets1.ConnectionSocket(), -1);
      if (row.unattended) { EXPECT_NE(h.dir.ReadLog().find(row.why), std::string::npos); }
      continue;
    }
    EXPECT_TRUE(stored.size() == (*row.why ? 64u : 0u) && h.engine.Tls.TrustedCertificate == stored);
    const std::string bytes = Pattern(300 * 1024 + 5);
    h.dir.WriteFile("up.bin", bytes);
    h.engine.StoreFile("TYPE I", "up.bin", "up.bin");
    if (has("other data")) {  // not the server the user trusted: nothing goes to it
      EXPECT_TRUE(h.ui.HasLine("Data connection refused: its certificate is not the server's"));
      EXPECT_TRUE(!server.Exists("up.bin") || server.ReadFile("up.bin").empty());
      continue;
    }
    EXPECT_EQ(h.engine.LastReply.substr(0, 3), "226");
    EXPECT_TRUE(server.Exists("up.bin") && server.ReadFile("up.bin") == bytes);
    h.engine.Retrieve("up.bin", "back.bin", "TYPE I");
    // Without the server's close_notify the retrieval is told cut, whatever came.
    EXPECT_TRUE(h.dir.ReadFile("back.bin") == bytes && h.ui.HasLineContaining("close_notify, 307205 bytes") == has("cut"));
    h.engine.ListRemote("LIST");
    EXPECT_TRUE(h.ui.HasLineContaining("up.bin"));
    EXPECT_EQ(server.LogText().find("without session reuse"), std::string::npos);
    ::send(h.engine.Sockets1.ConnectionSocket(), "\x17\x03\x03\x00\x04junk", 9, MSG_NOSIGNAL);
    h.engine.ReadReply();  // the TLS failure loses the connection and is told in TLS's words
    EXPECT_TRUE(!h.engine.Connected && h.dir.ReadLog().find("Error: 10053\\r\\nTLS: ") != std::string::npos);
  }
}

}  // namespace
