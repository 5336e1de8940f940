#pragma once
// The prompt box: a modal one-line input dialog with a caption, a prompt,
// a default text (shown all selected) and OK and Cancel buttons.
#include <string>

class QWidget;

// Shows the box with value as the default text. Returns true only when it is
// closed with OK, and then sets value to the typed text (which may be empty);
// Cancel, Escape or the close box return false and leave value alone.
bool InputQuery(QWidget* parent, const std::string& caption, const std::string& prompt,
                std::string& value);

// The typed text when the box is closed with OK, otherwise defaultText.
std::string InputBox(QWidget* parent, const std::string& caption, const std::string& prompt,
                     const std::string& defaultText);
