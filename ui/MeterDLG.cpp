#include "ui/MeterDLG.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScopedValueRollback>
#include <algorithm>

#include "ui/DialogControls.h"
#include "ui/Text.h"

TMeterDLG::TMeterDLG(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName("MeterDLG");
  setWindowTitle("Status");
  setFixedSize(210, 47);

  Gauge1 = new QProgressBar(this);
  Gauge1->setObjectName("Gauge1");
  Gauge1->setRange(0, 100);
  Gauge1->setValue(0);
  Gauge1->setTextVisible(false);
  Gauge1->setGeometry(8, 8, 193, 17);

  Label1 = new QLabel("Status:", this);
  Label1->setObjectName("Label1");
  Label1->adjustSize();
  Label1->move(8, 32);

  // The status line runs to the right edge so that longer texts than the
  // first one still show.
  StatusLabel = new QLabel("Sending File", this);
  StatusLabel->setObjectName("StatusLabel");
  StatusLabel->adjustSize();
  StatusLabel->setGeometry(std::max(48, Label1->x() + Label1->width() + 4), 32,
                           0, StatusLabel->height());
  StatusLabel->resize(width() - StatusLabel->x() - 4, StatusLabel->height());

  CancelBtn = new QPushButton("Cancel", this);
  CancelBtn->setObjectName("CancelBtn");
  CancelBtn->setGeometry(68, 52, 75, 23);
  CancelBtn->hide();
  connect(CancelBtn, &QPushButton::clicked, this, [this] { cancelled_ = true; });

  CentreOnScreen(this);
  hide();
}

bool TMeterDLG::WaitToReconnect(int seconds, int attempt, int tries) {
  const QScopedValueRollback<bool> waiting(waiting_, true);
  cancelled_ = false;
  const std::string caption = windowTitle().toStdString();
  setFixedSize(210, 80);
  CancelBtn->show();
  setWindowTitle(ToQ("Try " + std::to_string(attempt) + " of " + std::to_string(tries)));
  ShowProgressDialog();
  for (int left = seconds; left > 0 && !cancelled_; --left) {
    SetStatusText("Connecting again in " + std::to_string(left) + " s");
    sleeper_.SleepFor(1000);
  }
  CancelBtn->hide();
  setFixedSize(210, 47);
  setWindowTitle(ToQ(caption));
  SetStatusText("Connecting again");
  return !cancelled_;
}

void TMeterDLG::closeEvent(QCloseEvent* event) {
  if (waiting_) cancelled_ = true;  // closing the window ends the run's wait
  QWidget::closeEvent(event);
}

bool TMeterDLG::ProgressVisible() const { return isVisible(); }

void TMeterDLG::ShowProgressDialog() {
  show();
  raise();
}

int TMeterDLG::ProgressPosition() const { return Gauge1->value(); }

void TMeterDLG::SetProgress(int percent, const std::string& caption) {
  Gauge1->setValue(std::clamp(percent, Gauge1->minimum(), Gauge1->maximum()));
  setWindowTitle(ToQ(caption));
}

void TMeterDLG::RepaintProgress() {
  ++repaintCount_;
  repaint();
}

void TMeterDLG::HideProgress() { hide(); }

void TMeterDLG::SetStatusText(const std::string& text) { SetBytes(StatusLabel, text); }

std::string TMeterDLG::StatusText() const { return BytesOf(StatusLabel); }
