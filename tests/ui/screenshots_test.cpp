// The main window after a short session and the Setup dialog render as
// pictures. With TARNEX_SCREENSHOTS set to a folder, they are saved there as
// main-window.png and setup-dialog.png, so a person can look at them:
//
//   TARNEX_SCREENSHOTS=$PWD/shots QT_QPA_PLATFORM=xcb xvfb-run -a build/tests/ui_screenshots_test
#include <QDir>
#include <QImage>
#include <QPixmap>
#include <cstdlib>

#include "MainWindowKit.h"

using namespace mw;

namespace {

// A picture with drawing on it: not a single colour all over.
bool HasContent(const QImage& image) {
  if (image.isNull()) return false;
  const QRgb first = image.pixel(0, 0);
  for (int y = 0; y < image.height(); y += 3)
    for (int x = 0; x < image.width(); x += 3)
      if (image.pixel(x, y) != first) return true;
  return false;
}

void Save(const QImage& image, const char* name) {
  const char* folder = std::getenv("TARNEX_SCREENSHOTS");
  if (!folder || !*folder) return;
  QDir().mkpath(folder);
  const QString path = QDir(folder).filePath(name);
  EXPECT_TRUE(image.save(path)) << path.toStdString();
}

TEST_F(MainWindow, WindowAndSetupDialogRender) {
  ScriptedPeer peer;
  GreetAndLogin(peer).Reply("PWD", "257 \"/pub\" is the current directory\r\n");
  peer.Start();
  dir.WriteIni(ProfileIni(peer.Port(), "Directory=\r\n"));
  Open();
  Connect();
  form->PwdMNU->trigger();

  QImage setup;
  AnswerNextModal([&](QWidget* d) {
    QTest::qWait(50);  // let it paint once
    setup = d->grab().toImage();
    ClickCancel(d);
  });
  form->Setup1->trigger();
  QTest::qWait(50);
  const QImage window = form->grab().toImage();

  EXPECT_GE(window.width(), 600);
  EXPECT_TRUE(HasContent(window));
  EXPECT_GE(setup.width(), 360);
  EXPECT_TRUE(HasContent(setup));
  Save(window, "main-window.png");
  Save(setup, "setup-dialog.png");
}

}  // namespace
