#pragma once
// The part of the program's user interface that every layer may need: modal
// message boxes, and ending the program at once. The main window implements
// it with widgets; tests implement it with a recorder that answers from a
// script.
#include <string>

enum class BoxIcon { None, Information, Warning, Exclamation, Critical };

// Buttons of a box, combined with |.
enum BoxButtons : unsigned {
  BoxOK = 1,
  BoxCancel = 2,
  BoxYes = 4,
  BoxNo = 8,
};

enum class BoxAnswer { OK, Cancel, Yes, No };

class MessageBoxes {
public:
  virtual ~MessageBoxes() = default;

  // Shows a modal box and returns the button the user pressed.
  virtual BoxAnswer ShowMessageBox(const std::string& text, const std::string& caption,
                                   BoxIcon icon, unsigned buttons) = 0;

  // Ends the program at once with the exit code. The default leaves the
  // process through std::exit; a test recorder may throw instead.
  virtual void EndProgram(int exitCode);
};
