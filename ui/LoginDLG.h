#pragma once
// The Setup dialog: the connection profiles of the settings file. The user
// picks a profile from the list (or types a name), edits its values, adds it
// under a new name, saves it, deletes it, and confirms the values for the
// next connection. Add, Save and Delete work on the file at once; OK stores
// and applies the values only when Auto Save Config is ticked.
//
// The caller creates the dialog for one use, shows it modally and destroys
// it. Connect then reads the host, user, password, account and remote
// directory from the boxes (see the Text helper).
//
// Every button handler runs inside the standard error guard: a bad Port
// ("'abc' is not a valid integer value") or a refused write ("Unable to
// write to ...") shows an error box and the dialog goes on.
#include <QDialog>
#include <cstdint>
#include <string>

#include "settings/ConnectionProfile.h"

class MessageBoxes;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

class TLoginDLG : public QDialog {
  Q_OBJECT
public:
  // iniPath: the settings file. currentTransferType: the program-wide
  // transfer type (1 ASCII, 2 binary, 3 EBCDIC, 0 none), read and set as
  // profiles are loaded, added and saved. activeProfile: the main window's
  // profile, which OK with Auto Save Config replaces.
  TLoginDLG(QWidget* parent, MessageBoxes& boxes, const std::string& iniPath,
            int32_t& currentTransferType, ConnectionProfile& activeProfile);

  // The bytes of a box: its text in UTF-8, or the bytes it was filled with
  // while the text is as they showed it.
  static std::string Text(const QLineEdit* box);
  std::string ProfileText() const;  // the Profile box's text: the profile's name

  // The boxes as one profile; TransferType is the checked radio button
  // (1, 2, 3) or 0 when none is.
  ConnectionProfile BoxesProfile() const;

  // The handlers, callable directly (the buttons run them inside the guard).
  void LoadProfileList();
  void ProfileChange();
  void AddBtnClick();
  void ModifyBtnClick();
  void DeleteBtnClick();
  void OKBtnClick();
  void CheckBox1Click(bool checked);
  void CheckBox2Click(bool checked);

  QLabel* Label1;  // "Password:", "Email:" or "Password."
  QLabel* Label2;
  QLabel* Label3;
  QLabel* Label4;
  QLabel* Label5;
  QLabel* Label6;
  QLabel* Label7;
  QLabel* Label8;
  QLabel* Label9;
  QComboBox* Profile;  // editable; its list holds the profile names
  QLineEdit* HostName;
  QLineEdit* UserName;
  QLineEdit* Password;
  QLineEdit* Account;
  QLineEdit* Port;
  QLineEdit* Directory;  // initial remote directory
  QLineEdit* Edit2;      // initial local directory
  QLineEdit* Edit1;      // initialize command of batch runs
  QComboBox* Security;   // None, Explicit TLS, Implicit TLS (the profile's Security)
  QLabel* Label10;       // "&Security:"
  QCheckBox* CheckBox1;  // Anonymous Login
  QCheckBox* CheckBox2;  // Include directories
  QCheckBox* CheckBox3;  // Auto Save Config
  QCheckBox* CheckBox4;  // Include Sub-Directories
  QCheckBox* CheckBox5;  // Use lowercase file names
  QCheckBox* CheckBox6;  // Use LOG file
  QCheckBox* CheckBox7;  // Passive mode
  QGroupBox* GroupBox1;  // Initial Directories
  QGroupBox* GroupBox2;  // the batch options
  QGroupBox* GroupBox3;  // Transfer Mode
  QRadioButton* rbASCII;
  QRadioButton* rbBINARY;
  QRadioButton* rbEBCDIC;
  QPushButton* AddBtn;
  QPushButton* ModifyBtn;  // "Save"
  QPushButton* DeleteBtn;
  QPushButton* OKBtn;
  QPushButton* CancelBtn;

protected:
  void showEvent(QShowEvent* event) override;  // FormShow: focus into Profile
  bool eventFilter(QObject* watched, QEvent* event) override;  // Enter in the Profile box

private:
  void BuildControls();
  void SetTabOrder();
  void ConnectHandlers();
  template <typename Handler>
  void RunGuarded(Handler&& handler);

  MessageBoxes& boxes_;
  std::string iniPath_;
  int32_t& currentTransferType_;
  ConnectionProfile& activeProfile_;
  std::string trustedCertificate_;  // the loaded profile's; kept by Add and Save
  bool textJustChanged_ = false;   // the Profile box's text changed in this event
  bool enterJustPressed_ = false;  // Enter was pressed in the Profile box in this event
};
