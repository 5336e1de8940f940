#pragma once
// Building blocks of the fixed-layout dialogs: controls placed at pixel
// positions, with room made where the platform font needs more.
class QDialog;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

// Moves a top-level window so that it is centred on its screen (the primary
// screen when it has none yet).
void CentreOnScreen(QWidget* window);

// A sunken frame around a group of controls.
QFrame* MakeBevel(QWidget* parent, int left, int top, int width, int height);

// A one-line edit box, 121 by 21 pixels (taller when the font needs it).
QLineEdit* MakeEdit(QWidget* parent, const char* name, int left, int top);

// An auto-sized label at left/top. When the platform font makes its text run
// into the box it labels, the label moves left instead (never past a small
// margin).
QLabel* MakeLabel(QWidget* parent, const char* name, const char* text, int left, int top,
                  const QWidget* labelled);

// "OK" (the default button, Enter; accepts) and "Cancel" (Escape; rejects),
// 77 by 27 pixels.
QPushButton* MakeOKButton(QDialog* dialog, int left, int top);
QPushButton* MakeCancelButton(QDialog* dialog, int left, int top);

class QEvent;

// True for a focus-out event by which the keyboard focus moves to another
// control of the same window (Tab, Shift+Tab, a click, a shortcut or the
// program). False for anything else, above all the window itself losing the
// focus as it closes or as another window or a popup menu comes up.
bool IsFocusLeave(const QEvent* event);
