#pragma once
// Everything the protocol engine asks of the user's screen. The main window
// implements it with widgets; tests implement it with a recorder.
#include <string>

#include "net/MessageBoxes.h"

class EngineUI : public MessageBoxes {
public:
  // Hourglass, or the default cursor, on the main window and the transcript.
  virtual void SetBusyCursor() = 0;
  virtual void SetNormalCursor() = 0;

  // Transcript (Memo1): appends one complete line (its CR kept, no LF).
  // Returns false when the text area has no room left.
  virtual bool AppendTranscriptLine(const std::string& line) = 0;
  virtual void ClearTranscript() = 0;

  // Progress dialog (MeterDLG).
  virtual bool ProgressVisible() = 0;
  virtual void ShowProgressDialog() = 0;  // show and bring to the front
  virtual int ProgressPosition() = 0;     // the gauge's position
  virtual void SetProgress(int percent, const std::string& caption) = 0;
  virtual void RepaintProgress() = 0;
  virtual void HideProgress() = 0;
  virtual void SetStatusText(const std::string& text) = 0;  // StatusLabel

  // The engine found the control connection lost and cleared Connected:
  // the menus follow.
  virtual void ConnectionChanged() {}

  // Starts the external editor on a file, without waiting for it.
  virtual void StartEditor(const std::string& editorCommand, const std::string& fileName) = 0;
};
