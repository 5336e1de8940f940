#include "ui/DesktopNotice.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileInfo>
#include <QStringList>
#include <QVariantMap>
#include <cstdlib>

#include "ui/Text.h"

namespace {
constexpr int kNoticeWaitMs = 2000;
}

void NotifyDesktop(const std::string& line) {
  // No address and no bus at the usual place: there is no session bus, and
  // looking for one could start a helper program.
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if ((!address || !*address) && (!runtime || !QFileInfo::exists(QString(runtime) + "/bus"))) return;
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;
  QDBusMessage notice = QDBusMessage::createMethodCall(
      "org.freedesktop.Notifications", "/org/freedesktop/Notifications", "org.freedesktop.Notifications", "Notify");
  // Application, no notice to replace, no icon, summary, body, no actions,
  // no hints, the server's own display time.
  notice << QString("Tarnex") << 0u << QString() << QString("Tarnex") << ToQ(line) << QStringList()
         << QVariantMap() << -1;
  // Events go on while the answer is awaited; a missing service answers at once.
  bus.call(notice, QDBus::BlockWithGui, kNoticeWaitMs);
}
