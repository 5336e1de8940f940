#include "net/TSleeper.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QScopedValueRollback>
#include <QTimer>

#include <climits>

TSleeper::TSleeper(QObject* parent) : QObject(parent) {
  timer_ = new QTimer(this);
  timer_->setSingleShot(true);
  timer_->setTimerType(Qt::PreciseTimer);  // a pause never ends early
  timer_->setInterval(1000);               // the toolkit timer's default
}

TSleeper::~TSleeper() {
  delete timer_;
  timer_ = nullptr;
}

long TSleeper::Interval() const { return timer_ ? timer_->interval() : 0; }

void TSleeper::SetInterval(long ms) {
  if (!timer_) return;
  if (ms < 0) ms = 0;
  if (ms > INT_MAX) ms = INT_MAX;
  timer_->setInterval(static_cast<int>(ms));
}

void TSleeper::Sleep() {
  if (!timer_) return;
  const QScopedValueRollback<bool> sleeping(sleeping_, true);
  done_ = false;
  // The loop sleeps until an event comes, handles it, and ends at the tick.
  QEventLoop loop;
  connect(timer_, &QTimer::timeout, &loop, [this, &loop] {
    done_ = true;
    loop.quit();
  });
  timer_->start();
  while (!done_) {
    if (loop.exec() != 0) break;  // the application is quitting: no loop waits any more
  }
  timer_->stop();
  // What was pending at the tick is handled before the pause ends.
  QCoreApplication::processEvents();
}

void TSleeper::SleepFor(int ms) {
  if (!timer_) return;
  if (Interval() != ms) SetInterval(ms);
  Sleep();
}
