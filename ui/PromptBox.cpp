#include "ui/PromptBox.h"

#include <QDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

#include "ui/DialogControls.h"
#include "ui/Text.h"

namespace {

constexpr int kMaxInput = 255;

// Sizes of the box are given in dialog units of its font: a quarter of the
// average letter width across, an eighth of the character height down.
struct DialogUnits {
  explicit DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters =
        metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    averageWidth = std::max(1, (letters / 26 + 1) / 2);
    height = std::max(1, metrics.height());
  }
  int X(int units) const { return units * averageWidth / 4; }
  int Y(int units) const { return units * height / 8; }
  int averageWidth;
  int height;
};

class PromptDialog : public QDialog {
public:
  PromptDialog(QWidget* parent, const std::string& caption, const std::string& prompt,
               const std::string& text)
      : QDialog(parent) {
    setObjectName("PromptBox");
    setWindowTitle(ToQ(caption));
    const DialogUnits du(font());
    setFixedSize(du.X(180), du.Y(63));

    auto* label = new QLabel(ToQ(prompt), this);
    label->setObjectName("Prompt");
    label->adjustSize();
    label->move(du.X(8), du.Y(8));

    edit_ = new QLineEdit(this);
    edit_->setObjectName("Value");
    // A default longer than the limit is kept whole rather than cut off;
    // it can then only be shortened.
    const QString qtext = ToQ(text);
    edit_->setMaxLength(std::max<int>(kMaxInput, static_cast<int>(qtext.size())));
    SetBytes(edit_, text);
    edit_->selectAll();
    edit_->setGeometry(du.X(8), du.Y(19), du.X(164), edit_->sizeHint().height());

    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("OKBtn");
    ok->setDefault(true);
    ok->setGeometry(du.X(38), du.Y(41), du.X(50), du.Y(14));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("CancelBtn");
    cancel->setGeometry(du.X(92), du.Y(41), du.X(50), du.Y(14));
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    setTabOrder(edit_, ok);
    setTabOrder(ok, cancel);
    edit_->setFocus();
    CentreOnScreen(this);
  }

  std::string Text() const { return BytesOf(edit_); }

private:
  QLineEdit* edit_;
};

}  // namespace

bool InputQuery(QWidget* parent, const std::string& caption, const std::string& prompt,
                std::string& value) {
  PromptDialog dialog(parent, caption, prompt, value);
  if (dialog.exec() != QDialog::Accepted) return false;
  value = dialog.Text();
  return true;
}

std::string InputBox(QWidget* parent, const std::string& caption, const std::string& prompt,
                     const std::string& defaultText) {
  std::string value = defaultText;
  InputQuery(parent, caption, prompt, value);
  return value;
}
