#pragma once
// Message boxes with Qt widgets, parented to a window of the program.
#include <QPointer>
#include <QWidget>

#include "net/MessageBoxes.h"

class WidgetBoxes : public MessageBoxes {
public:
  explicit WidgetBoxes(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }

  BoxAnswer ShowMessageBox(const std::string& text, const std::string& caption, BoxIcon icon,
                           unsigned buttons) override;

private:
  QPointer<QWidget> parent_;
};
