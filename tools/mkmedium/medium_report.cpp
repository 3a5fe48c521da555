#include <cstdio>

#include "tools/mkmedium/medium.h"
#include "tools/mkmedium/medium_util.h"

namespace medium {

namespace {

std::string Where(const Problem& p) {
  return p.line > 0 ? "setup.inf:" + std::to_string(p.line) : std::string("medium");
}

std::string Line(int line) { return line > 0 ? std::to_string(line) : std::string("null"); }

}  // namespace

std::string FormatText(const Report& r) {
  std::string out;
  out += "Medium " + r.folder + (r.folder == r.mediumRoot ? "" : " (read as " + r.mediumRoot + ")") + "\n";
  out += "  installation directory  " + r.installDir + "\n";
  out += "  program folder          " + r.programFolder + "\n";
  out += "Entries (count " + std::to_string(r.count) + "):\n";
  for (const Entry& e : r.entries) {
    char size[32];
    std::snprintf(size, sizeof size, "%12llu", static_cast<unsigned long long>(e.size));
    out += "  line " + std::to_string(e.line) + "  " +
           (e.found ? std::string(size) + " bytes  " : e.refused ? "     (refused)  " : "     (missing)  ") +
           Printable(e.fileName) + "\n";
    out += "      file  " + (e.destination.empty() ? "(does not fit)" : Printable(e.destination)) + "\n";
    out += "      link  " + (e.link.empty() ? "(does not fit)" : Printable(e.link)) + "\n";
  }
  char totals[160];
  std::snprintf(totals, sizeof totals, "Total %llu bytes; free space asked for on the destination: %llu bytes\n",
                static_cast<unsigned long long>(r.totalBytes), static_cast<unsigned long long>(r.spaceNeeded));
  out += totals;
  if (r.readmeLine == 0) {
    out += "Readme: none\n";
  } else if (r.readmeShown) {
    out += "Readme: Notepad opens " + r.readmePath + " after a complete installation\n";
  } else {
    out += "Readme: " + Quote(r.readmeName) + " (line " + std::to_string(r.readmeLine) + ") is not shown\n";
  }
  if (!r.directX) {
    out += "DirectX: not offered\n";
  } else {
    out += std::string("DirectX: after a complete installation the user is asked whether to run directx.exe") +
           (r.directXPresent ? "" : " (not on the medium)") + "\n";
  }
  switch (r.outcome) {
    case Outcome::kCompletes:
      out += "INSTALL.EXE completes the installation: " + std::to_string(r.entries.size()) + " files, " +
             std::to_string(r.entries.size()) + " links\n";
      break;
    case Outcome::kStops:
      out += "INSTALL.EXE stops before copying anything: a path is too long\n";
      break;
    case Outcome::kRefuses:
      out += "INSTALL.EXE refuses the medium: \"" + Printable(r.message) + "\"\n";
      break;
  }
  for (const Problem& p : r.problems) {
    out += std::string(p.severity == Severity::kError ? "error: " : "warning: ") + Where(p) + ": " + p.text + " [" +
           p.code + "]\n";
  }
  out += std::to_string(r.Errors()) + (r.Errors() == 1 ? " error, " : " errors, ") + std::to_string(r.Warnings()) +
         (r.Warnings() == 1 ? " warning\n" : " warnings\n");
  return out;
}

std::string FormatJson(const Report& r) {
  std::string out = "{\n";
  out += "  \"folder\": " + JsonString(r.folder) + ",\n";
  out += "  \"medium\": " + JsonString(r.mediumRoot) + ",\n";
  out += "  \"installDir\": " + JsonString(r.installDir) + ",\n";
  out += "  \"programFolder\": " + JsonString(r.programFolder) + ",\n";
  out += "  \"count\": " + std::to_string(r.count) + ",\n";
  out += "  \"entries\": [";
  for (size_t i = 0; i < r.entries.size(); ++i) {
    const Entry& e = r.entries[i];
    out += std::string(i ? ",\n" : "\n") + "    {\"line\": " + std::to_string(e.line) +
           ", \"file\": " + JsonString(e.fileName) + ", \"shortcut\": " + JsonString(e.shortcutName) +
           ", \"found\": " + (e.found ? "true" : "false") + ", \"refused\": " + (e.refused ? "true" : "false") + ", \"size\": " + std::to_string(e.size) +
           ", \"destination\": " + (e.destination.empty() ? "null" : JsonString(e.destination)) +
           ", \"link\": " + (e.link.empty() ? "null" : JsonString(e.link)) + "}";
  }
  out += r.entries.empty() ? "],\n" : "\n  ],\n";
  out += "  \"totalBytes\": " + std::to_string(r.totalBytes) + ",\n";
  out += "  \"spaceNeeded\": " + std::to_string(r.spaceNeeded) + ",\n";
  out += "  \"readme\": " +
         (r.readmeLine ? "{\"line\": " + std::to_string(r.readmeLine) + ", \"name\": " + JsonString(r.readmeName) +
                             ", \"path\": " + (r.readmePath.empty() ? "null" : JsonString(r.readmePath)) +
                             ", \"shown\": " + (r.readmeShown ? "true" : "false") + "}"
                       : std::string("null")) +
         ",\n";
  out += "  \"directx\": " +
         (r.directX ? "{\"line\": " + std::to_string(r.directXLine) +
                          ", \"present\": " + (r.directXPresent ? "true" : "false") + "}"
                    : std::string("null")) +
         ",\n";
  out += "  \"outcome\": " + JsonString(OutcomeName(r.outcome)) + ",\n";
  out += "  \"message\": " + (r.message.empty() ? std::string("null") : JsonString(r.message)) + ",\n";
  out += "  \"problems\": [";
  for (size_t i = 0; i < r.problems.size(); ++i) {
    const Problem& p = r.problems[i];
    out += std::string(i ? ",\n" : "\n") + "    {\"severity\": " +
           (p.severity == Severity::kError ? "\"error\"" : "\"warning\"") + ", \"line\": " + Line(p.line) +
           ", \"code\": " + JsonString(p.code) + ", \"text\": " + JsonString(p.text) + "}";
  }
  out += r.problems.empty() ? "],\n" : "\n  ],\n";
  out += "  \"errors\": " + std::to_string(r.Errors()) + ",\n";
  out += "  \"warnings\": " + std::to_string(r.Warnings()) + ",\n";
  out += "  \"exit\": " + std::to_string(r.ExitStatus()) + "\n}\n";
  return out;
}

std::string AutorunInf() {
  // Started from the medium's root by autorun; the icon is INSTALL.EXE's own.
  return "[autorun]\r\nopen=INSTALL.EXE\r\nicon=INSTALL.EXE,0\r\n";
}

}  // namespace medium
