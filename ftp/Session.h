#pragma once
// Opening the control connection and logging in: the steps that the Connect
// command and the batch run share.
#include <string>

#include "ftp/FtpEngine.h"

// Connects the control socket in blocking mode to host and port (a busy
// cursor meanwhile). True when the connection stands; on failure nothing is
// shown here and no socket is left open.
bool OpenControlConnection(FtpEngine& engine, const std::string& host, const std::string& port);

// "Local port: ... IP: ... connected to rmt port: ... IP: ..." in the transcript.
void ShowConnectionAddresses(FtpEngine& engine);

// Reads the greeting: again while the reply is preliminary and no abort came.
void ReadGreeting(FtpEngine& engine);

// USER, then PASS only after a 3 and with a password, then ACCT only after a
// 3 for PASS and with an account.
void Login(FtpEngine& engine, const std::string& user, const std::string& password,
           const std::string& account);

// What follows the connect, in the order every connection takes it: the
// implicit TLS handshake, the greeting, AUTH TLS, the login, PBSZ and PROT.
// A TLS step that fails has closed the connection and said why; the result
// tells whether the login had been sent by then. A refused login is not
// judged here.
enum class SessionStart { Ready, StoppedBeforeLogin, StoppedAfterLogin };
SessionStart StartSession(FtpEngine& engine, const std::string& user, const std::string& password,
                          const std::string& account);

// After a 550 for the initial directory: asks whether to create it (an
// unattended run does not ask), and sends MKD and CWD (the name lower-cased
// when the engine's option says so).
void CheckInitialDirectory(FtpEngine& engine, const std::string& remoteDirectory);

// After a 530: tells the user (a box, but for an unattended run: the log
// only) and ends the program with exit code 1.
void CheckLoginFailure(FtpEngine& engine, const std::string& user);

// Each ASCII capital A to Z becomes its small letter; nothing else changes.
std::string LowerName(const std::string& text);
