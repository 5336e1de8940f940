#pragma once
// Every menu and button handler runs inside this guard: an exception ends the
// handler, its text is shown in an error box, and the program goes on.
#include <exception>
#include <utility>

#include "net/MessageBoxes.h"

template <typename Handler>
void Guarded(MessageBoxes& boxes, Handler&& handler) {
  try {
    std::forward<Handler>(handler)();
  } catch (const std::exception& e) {
    boxes.ShowMessageBox(e.what(), "Tarnex", BoxIcon::Critical, BoxOK);
  }
}
