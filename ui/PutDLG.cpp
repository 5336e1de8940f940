#include "ui/PutDLG.h"

#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "ui/DialogControls.h"
#include "ui/Text.h"

namespace {

constexpr size_t kMaxRemoteName = 255;

QString OpenExistingFile(QWidget* parent) {
  return QFileDialog::getOpenFileName(parent, QString(), QString(), "All files (*)");
}

}  // namespace

TPutDLG::TPutDLG(QWidget* parent)
    : QDialog(parent), TransferMode(this, 37, 73, 57), chooseFile(OpenExistingFile) {
  setObjectName("PutDLG");
  setWindowTitle("Send File");
  setFixedSize(366, 134);

  Bevel1 = MakeBevel(this, 8, 8, 273, 121);
  FileName = MakeEdit(this, "FileName", 125, 20);
  RemoteName = MakeEdit(this, "RemoteName", 125, 45);
  Label1 = MakeLabel(this, "Label1", "Filename to Put: ", 24, 24, FileName);
  Label2 = MakeLabel(this, "Label2", "Remote Name: ", 28, 49, RemoteName);
  OKBtn = MakeOKButton(this, 284, 8);
  CancelBtn = MakeCancelButton(this, 284, 40);

  Browse = new QPushButton("...", this);
  Browse->setObjectName("Browse");
  QFont bold = Browse->font();
  bold.setBold(true);
  Browse->setFont(bold);
  Browse->setGeometry(248, 18, 25, 25);
  connect(Browse, &QPushButton::clicked, this, &TPutDLG::BrowseClick);

  setTabOrder(FileName, RemoteName);
  setTabOrder(RemoteName, rbASCII);
  setTabOrder(rbBINARY, OKBtn);
  setTabOrder(OKBtn, CancelBtn);
  setTabOrder(CancelBtn, Browse);

  FileName->installEventFilter(this);
  CentreOnScreen(this);
}

TPutDLG::~TPutDLG() { FileName->removeEventFilter(this); }

std::string TPutDLG::FileNameText() const { return FromQ(FileName->text()); }
std::string TPutDLG::RemoteNameText() const { return FromQ(RemoteName->text()); }

void TPutDLG::FileNameExit() {
  // A name that cannot be written as UTF-8 is refused when the dialog's
  // values are used; leaving the box changes nothing.
  if (!Encodable(FileName->text())) return;
  const std::string path = FileNameText();
  const size_t slash = path.rfind('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.size() > kMaxRemoteName) {
    // Cut between characters, never inside one.
    size_t cut = kMaxRemoteName;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    name.resize(cut);
  }
  RemoteName->setText(ToQ(name));
}

void TPutDLG::BrowseClick() {
  const QString chosen = chooseFile ? chooseFile(this) : QString();
  if (chosen.isEmpty()) return;
  const QFileInfo file(chosen);
  // The box shows the path's bytes as the file system has them, so that
  // the name read back from it opens the same file.
  const QByteArray bytes = QFile::encodeName(file.absoluteFilePath());
  FileName->setText(ToQ(std::string(bytes.constData(), static_cast<size_t>(bytes.size()))));
  // Browsing fills FileName without leaving it: the remote name stays.
  browsing_ = true;
  RemoteName->setFocus(Qt::OtherFocusReason);
  browsing_ = false;
  QDir::setCurrent(file.absolutePath());
}

void TPutDLG::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FileName->setFocus();
}

bool TPutDLG::eventFilter(QObject* watched, QEvent* event) {
  if (watched == FileName && !browsing_ && IsFocusLeave(event)) FileNameExit();
  return QDialog::eventFilter(watched, event);
}
