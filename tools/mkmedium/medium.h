// mkmedium's core: what INSTALL.EXE would do with the medium in the current
// directory (see medium_host.h for how the medium gets there), every problem
// of its setup.inf, and a setup.inf made for the files of a medium.
//
// Not a second parser: the check reads setup.inf with the reader's own
// pieces (ManifestStream, ReadManifestLine, DetectEncoding, ParseCountLine,
// SplitEntryLine, ClassifyDirective), applies the path rules of
// engine/path_rules.h, and then runs LoadManifest itself; whatever the reader
// refuses is reported as a refusal even if no finer check explained it, so
// the tool can never call a medium good that INSTALL.EXE refuses.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/mkmedium/medium_host.h"

namespace medium {

// The two directories a check composes paths under, as the dialog would
// have them. The defaults: the installer's fixed default directory, and the
// Programs folder of a user whose name has 20 characters, which is long but
// ordinary.
constexpr const char* kDefaultInstallDir = "C:\\Program Files\\Brackenvue";
constexpr const char* kDefaultPrograms =
    "C:\\Users\\abcdefghijklmnopqrst\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs";
constexpr const char* kDefaultFolder = "Brackenvue";
// A directory a user may choose instead of the defaults: every path must
// leave at least this much room for the installation directory and for the
// program folder, or a warning says how much it leaves.
constexpr size_t kRoomWanted = 160;

struct Settings {
  std::string installDir = kDefaultInstallDir;
  std::string programs = kDefaultPrograms;
  std::string folder = kDefaultFolder;
};

enum class Severity { kError, kWarning };

struct Problem {
  Severity severity;
  int line;          // physical line of setup.inf, from 1; 0: the medium as a whole
  std::string code;  // stable key, e.g. "missing-file" (README lists them)
  std::string text;
};

// One row as INSTALL.EXE reads it.
struct Entry {
  int line = 0;  // physical line it was read from
  std::string fileName, shortcutName;
  bool found = false;    // a file the reader can open and measure
  bool refused = false;  // its names break the rules: the reader refuses it unopened
  uint64_t size = 0;
  std::string destination, link;  // "" when the path does not fit
};

enum class Outcome {
  kRefuses,   // RunInstall returns -1: nothing is written
  kStops,     // returns 0 before anything is written: the user can choose again
  kCompletes  // returns 1
};
const char* OutcomeName(Outcome outcome);  // "refuses", "stops", "completes"

struct Report {
  std::string folder;      // the folder as given, made full (set by the caller)
  std::string mediumRoot;  // the same as the reader sees it
  std::string installDir;     // as the run uses it
  std::string programFolder;  // programs\folder
  int32_t count = 0;
  std::vector<Entry> entries;
  uint64_t totalBytes = 0, spaceNeeded = 0;  // of the entries found when the reader refuses
  std::string readmeName;  // "" when none
  int readmeLine = 0;
  std::string readmePath;  // what Notepad is given
  bool readmeShown = false;
  bool directX = false;
  int directXLine = 0;
  bool directXPresent = false;
  Outcome outcome = Outcome::kRefuses;
  std::string message;  // INSTALL.EXE's own message when it refuses or stops
  std::vector<Problem> problems;

  int Errors() const;
  int Warnings() const;
  int ExitStatus() const;  // 0 clean, 1 warnings only, 2 errors
};

// Checks the medium that OpenMedium made current; `notes` are OpenMedium's.
Report CheckMedium(const Settings& settings, const std::vector<HostNote>& notes);

std::string FormatText(const Report& report);
std::string FormatJson(const Report& report);

// A setup.inf for the files of the current medium. false: some file cannot be
// listed (its name holds a space, the line would exceed 127 characters, the
// name is one Windows refuses, ...); *refusals names each, and nothing is made.
bool MakeManifest(const std::vector<HostNote>& notes, std::string* text, std::vector<std::string>* refusals);

// The autorun.inf that image adds to the medium's root.
std::string AutorunInf();

}  // namespace medium
