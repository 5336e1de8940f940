#pragma once
// A pause that keeps the window alive: it processes events while it waits,
// sleeping between them, and ends at its timer's tick.
#include <memory>
#include <QObject>

class QTimer;

class TSleeper : public QObject {
  Q_OBJECT
public:
  explicit TSleeper(QObject* parent = nullptr);
  ~TSleeper() override;

  // Interval of the inner timer in milliseconds (0 when there is no timer).
  long Interval() const;
  void SetInterval(long ms);

  // Waits one interval while events go on being processed.
  void Sleep();
  // Sets the interval when it differs (it stays for later calls), then Sleep.
  void SleepFor(int ms);
  // True while a pause lasts, the events handled at its end included.
  bool Sleeping() const { return sleeping_; }

private:
  QTimer* timer_ = nullptr;
  bool done_ = false;
  bool sleeping_ = false;
};
