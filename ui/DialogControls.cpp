#include "ui/DialogControls.h"

#include <QDialog>
#include <QFocusEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

void CentreOnScreen(QWidget* window) {
  QScreen* screen = window->screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect area = screen->availableGeometry();
  const QSize size = window->size();
  window->move(area.x() + (area.width() - size.width()) / 2,
               area.y() + (area.height() - size.height()) / 2);
}

QFrame* MakeBevel(QWidget* parent, int left, int top, int width, int height) {
  auto* bevel = new QFrame(parent);
  bevel->setObjectName("Bevel1");
  bevel->setFrameStyle(QFrame::Box | QFrame::Sunken);
  bevel->setGeometry(left, top, width, height);
  bevel->lower();
  return bevel;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, int left, int top) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setGeometry(left, top, 121, std::max(21, edit->sizeHint().height()));
  return edit;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* text, int left, int top,
                  const QWidget* labelled) {
  constexpr int margin = 2;
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->adjustSize();
  const int rightLimit = labelled->x() - margin;
  if (left + label->width() > rightLimit) left = std::max(margin, rightLimit - label->width());
  label->move(left, top);
  return label;
}

namespace {

QPushButton* MakeButton(QDialog* dialog, const char* name, const char* caption, int left,
                        int top) {
  auto* button = new QPushButton(caption, dialog);
  button->setObjectName(name);
  button->setGeometry(left, top, 77, 27);
  return button;
}

}  // namespace

QPushButton* MakeOKButton(QDialog* dialog, int left, int top) {
  QPushButton* ok = MakeButton(dialog, "OKBtn", "OK", left, top);
  ok->setDefault(true);
  QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
  return ok;
}

QPushButton* MakeCancelButton(QDialog* dialog, int left, int top) {
  QPushButton* cancel = MakeButton(dialog, "CancelBtn", "Cancel", left, top);
  QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
  return cancel;
}

bool IsFocusLeave(const QEvent* event) {
  if (event->type() != QEvent::FocusOut) return false;
  switch (static_cast<const QFocusEvent*>(event)->reason()) {
    case Qt::ActiveWindowFocusReason:
    case Qt::PopupFocusReason:
    case Qt::MenuBarFocusReason:
      return false;
    default:
      return true;
  }
}
