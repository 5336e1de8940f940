#pragma once
// The display options of [options]: DirSep, ViewSep and Editor.
//
// DirSep / ViewSep exactly "1": a listing / a viewed file goes to a temporary
// file opened with the editor; any other value: to the transcript. The Options
// menu shows a check mark whenever the value is not "0".
#include <string>

struct DisplayOptions {
  std::string DirSep;
  std::string ViewSep;
  std::string Editor;
};

// The values start-up stores when all three options read as empty. On this
// platform the editor is the desktop's own viewer, "xdg-open".
DisplayOptions DefaultDisplayOptions();

// The value a click on Directory Separate or View Separate sets: "0" for any
// value but "0", else "1".
std::string ToggledSeparateValue(const std::string& value);

// True when the menu item of this value carries a check mark.
inline bool SeparateChecked(const std::string& value) { return value != "0"; }

// Reads the three options (each with the default empty).
DisplayOptions ReadDisplayOptions(const std::string& iniPath);

// Options > Editor reads the stored editor afresh (default empty).
std::string ReadEditor(const std::string& iniPath);

// Each writes its key at once; a refused write throws
// std::runtime_error("Unable to write to <path>").
void WriteDirSep(const std::string& iniPath, const std::string& value);
void WriteViewSep(const std::string& iniPath, const std::string& value);
void WriteEditor(const std::string& iniPath, const std::string& value);
void WriteFastTransfers(const std::string& iniPath, bool on);
