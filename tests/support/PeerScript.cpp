// The scripted peer's text form: each line of a script becomes one step.
#include <sstream>
#include <stdexcept>

#include "ScriptedPeer.h"
#include "TestBytes.h"

namespace {

std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) { out += text[i]; continue; }
    const char c = text[++i];
    if (c == 'r') out += '\r';
    else if (c == 'n') out += '\n';
    else if (c == 't') out += '\t';
    else if (c == 'x' && i + 2 < text.size()) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else out += c;
  }
  return out;
}

std::string Trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

bool Starts(const std::string& s, const std::string& head, std::string& rest) {
  if (s.compare(0, head.size(), head) != 0) return false;
  rest = Trim(s.substr(head.size()));
  return true;
}

}  // namespace

ScriptedPeer& ScriptedPeer::Play(const std::string& script) {
  std::istringstream in(script);
  std::string raw;
  while (std::getline(in, raw)) {
    const std::string line = Trim(raw);
    std::string arg;
    if (line.empty()) continue;
    if (Starts(line, ">>", arg)) Send(Unescape(arg));
    else if (Starts(line, ">", arg)) Send(Unescape(arg) + "\r\n");
    else if (Starts(line, "<", arg)) {
      const size_t bar = arg.find(" | ");
      if (bar == std::string::npos) Expect(arg);
      else Reply(Trim(arg.substr(0, bar)), Unescape(Trim(arg.substr(bar + 3))) + "\r\n");
    }
    else if (Starts(line, "pause", arg)) Pause(std::stoi(arg));
    else if (line == "close") Close();
    else if (line == "reset") Reset();
    else if (line == "urgent") ExpectUrgent();
    else if (line == "expect close") ExpectClose();
    else if (line == "accept") Accept();
    else if (line == "data connect") DataConnect();
    else if (Starts(line, "data from", arg)) DataConnectFrom(arg);
    else if (Starts(line, "data send", arg)) DataSend(Unescape(arg));
    else if (Starts(line, "data pattern", arg)) DataSend(Pattern(std::stoul(arg)));
    else if (line == "data recv") DataReceiveAll();
    else if (line == "data close") DataClose();
    else if (line == "data reset") DataReset();
    else if (line == "data refuse") DataRefuse();
    else if (Starts(line, "data stall", arg)) DataStall(std::stoi(arg));
    else throw std::invalid_argument("scripted peer: cannot read step: " + line);
  }
  return *this;
}
