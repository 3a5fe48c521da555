// The neutral ground of the shared file-system cases (fs_cases.cpp): a fresh
// directory to work in, set up and looked at without the code under test.
// Each test program links one implementation: the native tests the headless
// model's (tests/native/fs_sandbox_headless.cpp), the Windows tests real
// files in a temporary directory (tests/win32/fs_sandbox_win32.cpp).
#pragma once

#include <string>
#include <vector>

namespace fscases {

// What the cases run against.
enum class Side {
  kModel,    // the headless backend
  kWine,     // the Win32 backend under Wine
  kWindows,  // the Win32 backend on Windows itself
};
Side CurrentSide();
const char* SideName(Side side);

// One object under the sandbox.
struct Entry {
  std::string path;  // relative to the sandbox, "\" between names
  bool isDir = false;
  std::string content;  // a file's bytes
};

// A fresh, empty directory on drive C:, made the current directory for the
// object's life; removed with everything in it afterwards, and the earlier
// current directory restored.
class Sandbox {
 public:
  Sandbox();
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  // Its full path as the current directory reports it ("C:\...\fs-1"),
  // without a trailing separator; "" if it could not be made.
  const std::string& Dir() const { return dir_; }

  // Set-up by full path; false if it could not be made (the parent must exist).
  bool PutDir(const std::string& path) const;
  bool PutFile(const std::string& path, const std::string& content) const;

  // Everything under the sandbox, in no particular order.
  std::vector<Entry> Contents() const;

 private:
  std::string dir_;
  std::string saved_;  // the current directory before
};

}  // namespace fscases
