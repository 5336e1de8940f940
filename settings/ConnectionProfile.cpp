#include "settings/ConnectionProfile.h"

ProfileDefaults SetupDialogDefaults(const std::string& localdirText, int32_t currentTransferType) {
  ProfileDefaults d;
  d.Localdir = localdirText;
  d.Anonymous = d.AutoSave = d.UseLogFile = true;
  d.IncludeDirs = d.IncludeSubDirs = d.UseLowerCase = true;
  d.TransferType = currentTransferType;
  return d;
}

ProfileDefaults StartupDefaults(int32_t currentTransferType) {
  ProfileDefaults d;
  d.UseLogFile = true;
  d.TransferType = currentTransferType;
  return d;
}
