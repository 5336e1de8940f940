#include "ui/LoginDLG.h"

#include <QFont>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QKeyEvent>
#include <QTimer>
#include <algorithm>
#include <unistd.h>

#include "net/MessageBoxes.h"
#include "settings/Profiles.h"
#include "ui/DialogControls.h"
#include "ui/HandlerGuard.h"
#include "ui/Text.h"

namespace {

// An edit box at left/top, width wide (taller when the font needs it).
QLineEdit* PlaceEdit(QWidget* parent, const char* name, int left, int top, int width) {
  QLineEdit* edit = MakeEdit(parent, name, left, top);
  edit->resize(width, edit->height());
  return edit;
}

// Check boxes and radio buttons are never smaller than the platform's
// indicator and font need.
template <typename Button>
Button* PlaceButton(QWidget* parent, const char* name, const char* caption, int left, int top,
                    int width, int height) {
  auto* button = new Button(caption, parent);
  button->setObjectName(name);
  const QSize hint = button->sizeHint();
  button->setGeometry(left, top, std::max(width, hint.width()), std::max(height, hint.height()));
  return button;
}

QPushButton* PlacePushButton(QWidget* parent, const char* name, const char* caption, int left,
                             int top, int width, int height) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  button->setGeometry(left, top, width, height);
  return button;
}

QGroupBox* PlaceGroup(QWidget* parent, const char* name, const char* caption, int left, int top,
                      int width, int height) {
  auto* group = new QGroupBox(caption, parent);
  group->setObjectName(name);
  group->setGeometry(left, top, width, height);
  return group;
}

// A label whose access letter moves the focus to the box it names.
QLabel* AccessLabel(QWidget* parent, const char* name, const char* text, int left, int top,
                    QWidget* target) {
  QLabel* label = MakeLabel(parent, name, text, left, top, target);
  label->setBuddy(target);
  label->adjustSize();
  return label;
}

}  // namespace

TLoginDLG::TLoginDLG(QWidget* parent, MessageBoxes& boxes, const std::string& iniPath,
                     int32_t& currentTransferType, ConnectionProfile& activeProfile)
    : QDialog(parent),
      boxes_(boxes),
      iniPath_(iniPath),
      currentTransferType_(currentTransferType),
      activeProfile_(activeProfile) {
  setObjectName("LoginDLG");
  setWindowTitle("Setup");
  setFixedSize(371, 360);
  // The layout is drawn for a small dialog font; the platform's font at 8
  // points keeps every caption clear of its neighbour.
  QFont small = font();
  small.setPointSize(8);
  setFont(small);

  BuildControls();
  SetTabOrder();
  ConnectHandlers();
  CentreOnScreen(this);

  // FormCreate.
  RunGuarded([this] { LoadProfileList(); });
}

void TLoginDLG::BuildControls() {
  Profile = new QComboBox(this);
  Profile->setObjectName("Profile");
  Profile->setEditable(true);
  // The text is the profile's name exactly as typed: no completion from the
  // list, and Enter never adds the text to the list.
  Profile->setCompleter(nullptr);
  Profile->setInsertPolicy(QComboBox::NoInsert);
  Profile->setGeometry(70, 0, 155, std::max(21, Profile->sizeHint().height()));

  HostName = PlaceEdit(this, "HostName", 70, 24, 155);
  UserName = PlaceEdit(this, "UserName", 70, 48, 155);
  Password = PlaceEdit(this, "Password", 70, 72, 155);
  Password->setEchoMode(QLineEdit::Password);
  Password->setStyleSheet("QLineEdit { lineedit-password-character: 42; }");  // '*'
  Account = PlaceEdit(this, "Account", 70, 96, 155);

  Label4 = MakeLabel(this, "Label4", "Profile:", 32, 4, Profile);
  Label3 = MakeLabel(this, "Label3", "Hostname:", 12, 28, HostName);
  Label2 = MakeLabel(this, "Label2", "Username:", 12, 51, UserName);
  Label1 = MakeLabel(this, "Label1", "Password:", 14, 73, Password);
  Label5 = MakeLabel(this, "Label5", "Account:", 21, 97, Account);

  AddBtn = PlacePushButton(this, "AddBtn", "Add", 232, 8, 41, 27);
  ModifyBtn = PlacePushButton(this, "ModifyBtn", "Save", 280, 8, 41, 27);
  DeleteBtn = PlacePushButton(this, "DeleteBtn", "Delete", 328, 8, 41, 27);

  Port = PlaceEdit(this, "Port", 296, 40, 49);
  Label6 = AccessLabel(this, "Label6", "&Remote Port:", 232, 40, Port);

  CheckBox1 = PlaceButton<QCheckBox>(this, "CheckBox1", "Anonymous Login", 232, 64, 121, 17);
  CheckBox3 = PlaceButton<QCheckBox>(this, "CheckBox3", "Auto Save Config", 232, 88, 121, 17);

  GroupBox2 = PlaceGroup(this, "GroupBox2", "Tarnex drag && drop Options", 0, 120, 369, 113);
  CheckBox2 =
      PlaceButton<QCheckBox>(GroupBox2, "CheckBox2", "Include directories", 8, 16, 124, 17);
  CheckBox4 =
      PlaceButton<QCheckBox>(GroupBox2, "CheckBox4", "Include Sub-Directories", 132, 16, 137, 17);
  CheckBox6 = PlaceButton<QCheckBox>(GroupBox2, "CheckBox6", "Use LOG file", 8, 40, 81, 17);
  CheckBox5 = PlaceButton<QCheckBox>(GroupBox2, "CheckBox5", "Use lowercase filenamse", 132, 40,
                                     145, 17);
  GroupBox3 = PlaceGroup(GroupBox2, "GroupBox3", "Transfer Mode", 5, 64, 209, 41);
  rbASCII = PlaceButton<QRadioButton>(GroupBox3, "rbASCII", "ASCII", 8, 13, 57, 17);
  rbBINARY = PlaceButton<QRadioButton>(GroupBox3, "rbBINARY", "Binary", 64, 13, 49, 17);
  rbEBCDIC = PlaceButton<QRadioButton>(GroupBox3, "rbEBCDIC", "EBCDIC", 128, 13, 65, 17);
  Edit1 = PlaceEdit(GroupBox2, "Edit1", 220, 84, 140);
  // Above its box, so placed as it stands.
  Label9 = new QLabel("Initialize command:", GroupBox2);
  Label9->setObjectName("Label9");
  Label9->setBuddy(Edit1);
  Label9->adjustSize();
  Label9->move(220, 70);

  GroupBox1 = PlaceGroup(this, "GroupBox1", "Initial Directories", 0, 240, 289, 65);
  Directory = PlaceEdit(GroupBox1, "Directory", 86, 12, 185);
  Edit2 = PlaceEdit(GroupBox1, "Edit2", 86, 40, 185);
  Label7 = AccessLabel(GroupBox1, "Label7", "Remote H&ost:", 8, 16, Directory);
  Label8 = AccessLabel(GroupBox1, "Label8", "Local &PC:", 8, 40, Edit2);

  Security = new QComboBox(this);
  Security->setObjectName("Security");
  Security->addItems({"None", "Explicit TLS", "Implicit TLS"});
  Security->setGeometry(70, 334, 155, std::max(21, Security->sizeHint().height()));
  Label10 = AccessLabel(this, "Label10", "&Security:", 12, 338, Security);

  OKBtn = MakeOKButton(this, 296, 248);
  OKBtn->resize(73, 26);
  // OK runs its handler first and closes afterwards (see ConnectHandlers).
  disconnect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
  CancelBtn = MakeCancelButton(this, 296, 279);
  CancelBtn->resize(73, 27);
  CheckBox7 = PlaceButton<QCheckBox>(this, "CheckBox7", "Pass&ive mode (for routers and firewalls)",
                                     8, 312, 281, 17);

  // As made: Include Sub-Directories waits for Include directories, Binary
  // is the transfer mode.
  CheckBox4->setEnabled(false);
  rbBINARY->setChecked(true);
}

void TLoginDLG::SetTabOrder() {
  QWidget* const order[] = {Profile,   HostName,  UserName,  Password,  Account,   Port,
                            Security,
                            CheckBox1, CheckBox3, CheckBox7, CheckBox2, CheckBox4, CheckBox6, CheckBox5,
                            rbASCII,   rbBINARY,  rbEBCDIC,  Edit1,     Directory, Edit2,
                            AddBtn,    ModifyBtn, DeleteBtn, OKBtn,     CancelBtn};
  for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
}

void TLoginDLG::ConnectHandlers() {
  // Every change of the text, typed, chosen from the list or set by the
  // program, loads the profile of that name.
  connect(Profile, &QComboBox::editTextChanged, this, [this] {
    textJustChanged_ = true;
    QTimer::singleShot(0, this, [this] { textJustChanged_ = false; });
    RunGuarded([this] { ProfileChange(); });
  });
  // Choosing the name already in the box from the list changes no text, yet
  // reloads the profile; a choice that changed the text has loaded it just
  // now. Enter in the box (which the box reports as a choice too) reloads
  // nothing: it would undo what was set since.
  connect(Profile, &QComboBox::activated, this, [this] {
    if (!textJustChanged_ && !enterJustPressed_) RunGuarded([this] { ProfileChange(); });
  });
  Profile->installEventFilter(this);
  Profile->lineEdit()->installEventFilter(this);
  // The click rules follow every change of state, also one the program makes.
  connect(CheckBox1, &QCheckBox::toggled, this, &TLoginDLG::CheckBox1Click);
  connect(CheckBox2, &QCheckBox::toggled, this, &TLoginDLG::CheckBox2Click);
  connect(AddBtn, &QPushButton::clicked, this, [this] { RunGuarded([this] { AddBtnClick(); }); });
  connect(ModifyBtn, &QPushButton::clicked, this,
          [this] { RunGuarded([this] { ModifyBtnClick(); }); });
  connect(DeleteBtn, &QPushButton::clicked, this,
          [this] { RunGuarded([this] { DeleteBtnClick(); }); });
  // The result is OK before the handler runs, so the dialog closes with OK
  // even when the handler ends in an error.
  connect(OKBtn, &QPushButton::clicked, this, [this] {
    setResult(QDialog::Accepted);
    RunGuarded([this] { OKBtnClick(); });
    done(QDialog::Accepted);
  });
}

template <typename Handler>
void TLoginDLG::RunGuarded(Handler&& handler) {
  Guarded(boxes_, std::forward<Handler>(handler));
}

bool TLoginDLG::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      enterJustPressed_ = true;
      QTimer::singleShot(0, this, [this] { enterJustPressed_ = false; });
    }
  }
  return QDialog::eventFilter(watched, event);
}

std::string TLoginDLG::Text(const QLineEdit* box) { return BytesOf(box); }

std::string TLoginDLG::ProfileText() const { return FromQ(Profile->currentText()); }

ConnectionProfile TLoginDLG::BoxesProfile() const {
  ConnectionProfile p;
  p.Name = ProfileText();
  p.HostName = Text(HostName);
  p.UserName = Text(UserName);
  p.Password = Text(Password);
  p.Account = Text(Account);
  p.Directory = Text(Directory);
  p.Port = Text(Port);
  p.Localdir = Text(Edit2);
  p.Anonymous = CheckBox1->isChecked();
  p.AutoSave = CheckBox3->isChecked();
  p.UseLogFile = CheckBox6->isChecked();
  p.IncludeDirs = CheckBox2->isChecked();
  p.IncludeSubDirs = CheckBox4->isChecked();
  p.UseLowerCase = CheckBox5->isChecked();
  p.InitializeCommand = Text(Edit1);
  p.Passive = CheckBox7->isChecked();
  p.TransferType = rbASCII->isChecked()    ? 1
                   : rbBINARY->isChecked() ? 2
                   : rbEBCDIC->isChecked() ? 3
                                           : 0;
  p.Security = Security->currentIndex() > 0 ? Security->currentIndex() : 0;
  p.TrustedCertificate = trustedCertificate_;
  return p;
}

void TLoginDLG::LoadProfileList() {
  // The box is filled quietly and the profile loaded once at the end.
  {
    const QSignalBlocker quiet(Profile);
    Profile->clear();
    Profile->clearEditText();
    const ProfileList list = ::LoadProfileList(iniPath_);
    for (const std::string& name : list.Names) Profile->addItem(ToQ(name));
    Profile->setCurrentIndex(-1);
    Profile->setEditText(ToQ(list.LastUsed));
  }
  ProfileChange();
}

void TLoginDLG::ProfileChange() {
  const ConnectionProfile p =
      LoadProfile(iniPath_, ProfileText(), Text(Edit2), currentTransferType_);
  SetBytes(HostName, p.HostName);
  SetBytes(UserName, p.UserName);
  SetBytes(Password, p.Password);
  SetBytes(Account, p.Account);
  SetBytes(Directory, p.Directory);
  SetBytes(Port, p.Port);
  SetBytes(Edit2, p.Localdir);
  // Turning Anonymous Login on puts "Anonymous" over the user name just read.
  CheckBox1->setChecked(p.Anonymous);
  CheckBox3->setChecked(p.AutoSave);
  currentTransferType_ = p.TransferType;
  CheckBox6->setChecked(p.UseLogFile);
  CheckBox2->setChecked(p.IncludeDirs);
  CheckBox4->setChecked(p.IncludeSubDirs);
  CheckBox5->setChecked(p.UseLowerCase);
  SetBytes(Edit1, p.InitializeCommand);
  CheckBox7->setChecked(p.Passive);
  Security->setCurrentIndex(p.Security);
  trustedCertificate_ = p.TrustedCertificate;
  switch (currentTransferType_) {
    case 1: rbASCII->setChecked(true); break;
    case 2: rbBINARY->setChecked(true); break;
    case 3: rbEBCDIC->setChecked(true); break;
    default: break;  // an unknown type leaves the choice as it is
  }
}

void TLoginDLG::AddBtnClick() {
  const QString name = Profile->currentText();
  AddProfile(iniPath_, BoxesProfile(), currentTransferType_);
  // Listed only once it is stored in full.
  Profile->addItem(name);
}

void TLoginDLG::ModifyBtnClick() { SaveProfile(iniPath_, BoxesProfile(), currentTransferType_); }

void TLoginDLG::DeleteBtnClick() {
  if (DeleteProfile(iniPath_, ProfileText())) LoadProfileList();
}

void TLoginDLG::OKBtnClick() {
  if (!CheckBox3->isChecked()) return;
  const ConnectionProfile p = BoxesProfile();
  SaveProfileOnOK(iniPath_, p);
  activeProfile_.Name = p.Name;
  activeProfile_.HostName = p.HostName;
  activeProfile_.UserName = p.UserName;
  activeProfile_.Password = p.Password;
  activeProfile_.Account = p.Account;
  activeProfile_.Directory = p.Directory;
  activeProfile_.Port = p.Port;
  activeProfile_.Localdir = p.Localdir;
  activeProfile_.Passive = p.Passive;
  activeProfile_.Security = p.Security;
  activeProfile_.TrustedCertificate = p.TrustedCertificate;
  if (!p.Localdir.empty() && ::chdir(p.Localdir.c_str()) != 0)
    boxes_.ShowMessageBox("Cannot find directory", "Warning", BoxIcon::Warning, BoxOK);
}

void TLoginDLG::CheckBox1Click(bool checked) {
  if (checked) {
    Label1->setText("Email:");
    Password->setEchoMode(QLineEdit::Normal);
    UserName->setText("Anonymous");
  } else {
    Label1->setText("Password.");
    Password->setEchoMode(QLineEdit::Password);
  }
  Label1->adjustSize();
}

void TLoginDLG::CheckBox2Click(bool checked) { CheckBox4->setEnabled(checked); }

void TLoginDLG::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  Profile->setFocus();
}
