#pragma once
// The progress dialog: a small window with a gauge and a status line that
// stays up while a file moves over a data connection. One instance lives for
// the whole run; it starts hidden.
#include <QWidget>
#include <string>

#include "net/TSleeper.h"

class QLabel;
class QProgressBar;
class QPushButton;

class TMeterDLG : public QWidget {
  Q_OBJECT
public:
  explicit TMeterDLG(QWidget* parent = nullptr);

  bool ProgressVisible() const;
  void ShowProgressDialog();  // show and bring to the front
  int ProgressPosition() const;
  // Sets the gauge (held within 0..100) and the window caption as given.
  void SetProgress(int percent, const std::string& caption);
  void RepaintProgress();  // repaint at once
  void HideProgress();
  void SetStatusText(const std::string& text);
  std::string StatusText() const;
  // Between the tries of a run that connects again: shows the window with
  // the try that comes and the seconds left, and a Cancel button, while the
  // pause lets events run. False when Cancel, or closing the window, ended
  // the wait.
  bool WaitToReconnect(int seconds, int attempt, int tries);

  int RepaintCount() const { return repaintCount_; }

  QProgressBar* Gauge1;
  QLabel* Label1;
  QLabel* StatusLabel;
  QPushButton* CancelBtn;  // shown while waiting to reconnect

protected:
  void closeEvent(QCloseEvent* event) override;

private:
  int repaintCount_ = 0;
  bool waiting_ = false;
  bool cancelled_ = false;
  TSleeper sleeper_;
};
