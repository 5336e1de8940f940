#pragma once
// The connection profiles of the settings file, as the Setup dialog keeps
// them. The dialog moves values between its boxes and a ConnectionProfile;
// these calls do all the reading and writing. Each call works on the file at
// iniPath through a fresh TIniFile.
//
// The profile list: [index] holds numbered slots Profile0, Profile1, ...,
// one per profile ever added, and "next", the number of slots handed out.
// Add fills slot next and raises next; Delete empties a slot but never
// removes it or lowers next. The list is the non-empty slots 0..next in slot
// order; one name may stand in several slots.
//
// Errors (std::runtime_error, for the caller's standard error box):
//   - "'<text>' is not a valid integer value" when the Port text, or a stored
//     [index] next, is not a whole number. The writes done before that point
//     stay in the file, the rest is not done.
//   - "Unable to write to <path>" when the file refuses a write; the writes
//     done before it stay.
//   - "'<name>' is a section of the settings file and cannot be a profile
//     name" from Add, Save, OK and Delete when the name is index, options,
//     LastUsed or Fixed in any letter case; nothing is written.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "settings/ConnectionProfile.h"

struct ProfileList {
  std::vector<std::string> Names;  // the Profile box's list, in slot order
  std::string LastUsed;            // the Profile box's text: [LastUsed] NAME
};

// Reads [index] next (an absent or empty one is written as "0" first), the
// non-empty slots 0..next and [LastUsed] NAME. The dialog then sets the box's
// text to LastUsed and loads that profile (LoadProfile).
ProfileList LoadProfileList(const std::string& iniPath);

// Reads the fifteen keys of the named section, absent keys taking the
// defaults given, Passive (absent: off) and the TLS keys (Security: 0, 1 or
// 2, anything else 0; TrustedCertificate through NormalFingerprint). Writes nothing.
ConnectionProfile ReadProfile(const std::string& iniPath, const std::string& section,
                              const ProfileDefaults& defaults);

// The profile as the Setup dialog loads it when the Profile box's text
// changes: ReadProfile with SetupDialogDefaults(localdirText,
// currentTransferType). The dialog sets CurrentTransferType to the result's
// TransferType and checks the radio button of 1, 2 or 3 (other values leave
// the radio buttons alone).
ConnectionProfile LoadProfile(const std::string& iniPath, const std::string& section,
                              const std::string& localdirText, int32_t currentTransferType);

// Add: stores the boxes (profile) as a new profile under profile.Name, in
// this order: [index] next ("0" when absent or empty), [index] Profile<next>,
// [LastUsed] NAME, [Fixed] OK = 1, the fifteen profile keys, [index]
// next + 1 (Passive is written after TransferType, and only when it is on
// or the section holds it already). profile.TransferType is the checked radio button (1, 2, 3, or 0
// for none): when it is 1 to 3 it becomes currentTransferType, and
// currentTransferType is what TransferType stores. A Port that is not a
// number ends the call at the Port key: the slot, NAME and OK stay written,
// next is not raised, currentTransferType is unchanged. On success the
// dialog appends the name to its list.
void AddProfile(const std::string& iniPath, const ConnectionProfile& profile,
                int32_t& currentTransferType);

// Every write of the profile keys also writes Security and
// TrustedCertificate, but only where they are set or already stand.
//
// Save: the fifteen profile keys as for Add, then [LastUsed] NAME. Slots,
// list and [Fixed] OK stay as they are.
void SaveProfile(const std::string& iniPath, const ConnectionProfile& profile,
                 int32_t& currentTransferType);

// OK with Auto Save Config checked: the profile keys without TransferType
// (currentTransferType is neither read nor changed), then [Fixed] OK = 1 and
// [LastUsed] NAME. The caller then copies the values into ActiveProfile and
// enters Localdir.
void SaveProfileOnOK(const std::string& iniPath, const ConnectionProfile& profile);

// Delete: removes the named section, then, unless [index] next is absent or
// empty, finds the first slot 0..next whose value equals name exactly
// (letter case counts). A found slot k is emptied and [LastUsed] NAME becomes
// the value of slot k-1 (empty for slot 0 or an empty slot); when no slot
// holds the name, [LastUsed] NAME becomes empty and no slot changes.
// Returns the new [LastUsed] NAME, after which the dialog runs
// LoadProfileList again; returns std::nullopt when next was absent or empty,
// and then nothing but the section removal was done and the list stays.
// The certificate the user chose to trust for the named profile: writes
// only its TrustedCertificate key.
void SaveTrustedCertificate(const std::string& iniPath, const std::string& section,
                            const std::string& fingerprint);

// A stored fingerprint as 64 capital hex digits: colons between the byte
// pairs and small letters are accepted; anything else reads as none.
std::string NormalFingerprint(const std::string& text);

std::optional<std::string> DeleteProfile(const std::string& iniPath, const std::string& name);
