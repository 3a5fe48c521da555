// Small helpers shared by mkmedium's check, init and report.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace medium {

// Control characters written as \t, \r, \xNN: a tab in a name must show.
std::string Printable(const std::string& text);
// 'text' in single quotes, control characters as Printable writes them.
std::string Quote(const std::string& text);
// ASCII letters lowered; other bytes kept (Windows compares names so).
std::string Lower(const std::string& text);
// The key under which Windows takes two relative names as the same file:
// letter case ignored, "/" and "\" alike.
std::string NameKey(const std::string& name);
// A JSON string literal. Bytes that are not UTF-8 (names in an ANSI code
// page) are taken as Latin-1, so the document is always valid.
std::string JsonString(const std::string& text);
// Copies a directory text into a dialog-field buffer (paths::kPathBytes),
// cut at 259 characters like the dialog's field.
void CopyField(char* out, const std::string& text);

// The installer, setup.inf, directx.exe and autorun.inf in the medium's root:
// files a medium holds without listing them.
bool IsMediumOwnFile(const std::string& path);

struct FileOnMedium {
  std::string path;  // relative to the medium, "\"-separated, as the listing spells it
  bool isDir = false;
  std::string collidesWith;  // another name of the same folder that differs only in letter case
};
// Every file and folder under the current directory, through plat::FindFirst,
// folders before their contents, each folder's names in listing order.
std::vector<FileOnMedium> ListMedium();

}  // namespace medium
