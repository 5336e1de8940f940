#pragma once
// The progress dialog: a small window with a gauge and a status line that
// stays up while a file moves over a data connection. One instance lives for
// the whole run; it starts hidden.
#include <QWidget>
#include <string>

class QLabel;
class QProgressBar;

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

  int RepaintCount() const { return repaintCount_; }

  QProgressBar* Gauge1;
  QLabel* Label1;
  QLabel* StatusLabel;

private:
  int repaintCount_ = 0;
};
