#include "ui/WidgetBoxes.h"

#include <QMessageBox>

#include "ui/Text.h"

BoxAnswer WidgetBoxes::ShowMessageBox(const std::string& text, const std::string& caption,
                                      BoxIcon icon, unsigned buttons) {
  QMessageBox box(parent_);
  box.setWindowTitle(ToQ(caption));
  box.setText(ToQ(text));
  switch (icon) {
    case BoxIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case BoxIcon::Information: box.setIcon(QMessageBox::Information); break;
    case BoxIcon::Warning:
    case BoxIcon::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case BoxIcon::Critical: box.setIcon(QMessageBox::Critical); break;
  }
  QMessageBox::StandardButtons standard;
  if (buttons & BoxOK) standard |= QMessageBox::Ok;
  if (buttons & BoxCancel) standard |= QMessageBox::Cancel;
  if (buttons & BoxYes) standard |= QMessageBox::Yes;
  if (buttons & BoxNo) standard |= QMessageBox::No;
  if (!standard) standard = QMessageBox::Ok;
  box.setStandardButtons(standard);
  switch (box.exec()) {
    case QMessageBox::Yes: return BoxAnswer::Yes;
    case QMessageBox::No: return BoxAnswer::No;
    case QMessageBox::Cancel: return BoxAnswer::Cancel;
    default: return BoxAnswer::OK;
  }
}
