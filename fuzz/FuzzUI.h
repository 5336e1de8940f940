#pragma once
// A user interface for the fuzz targets: answers every box with OK and
// records nothing. Ending the program is a finding, so it aborts.
#include <cstdlib>

#include "ftp/EngineUI.h"

class FuzzUI : public EngineUI {
public:
  BoxAnswer ShowMessageBox(const std::string&, const std::string&, BoxIcon, unsigned) override {
    ++boxes;
    return BoxAnswer::OK;
  }
  [[noreturn]] void EndProgram(int) override { std::abort(); }
  void SetBusyCursor() override {}
  void SetNormalCursor() override {}
  bool AppendTranscriptLine(const std::string&) override {
    ++lines;
    return true;
  }
  void ClearTranscript() override {}
  bool ProgressVisible() override { return false; }
  void ShowProgressDialog() override {}
  int ProgressPosition() override { return 0; }
  void SetProgress(int, const std::string&) override {}
  void RepaintProgress() override {}
  void HideProgress() override {}
  void SetStatusText(const std::string&) override {}
  void StartEditor(const std::string&, const std::string&) override {}

  int boxes = 0;
  int lines = 0;
};
