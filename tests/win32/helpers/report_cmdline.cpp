// A child program for the process tests. It writes the command line exactly
// as it received it (GetCommandLineA) to "cmdline.out" in its current
// directory, then exits. Words anywhere on the line steer it:
//   exit=N     exit with code N (default 0)
//   event=NAME wait (at most 10 s) until the named event is set before
//              writing; exits with 99 if it never is
// Nothing else of the line is interpreted, so the tests can pass any text.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The value after "key=" up to the next blank, or "" if the key is absent.
std::string Word(const char* line, const char* key) {
  const char* at = std::strstr(line, key);
  if (!at) return std::string();
  at += std::strlen(key);
  const char* end = at;
  while (*end && *end != ' ') ++end;
  return std::string(at, end);
}

}  // namespace

int main() {
  const char* line = GetCommandLineA();
  int code = std::atoi(Word(line, "exit=").c_str());

  std::string event = Word(line, "event=");
  if (!event.empty()) {
    HANDLE go = OpenEventA(SYNCHRONIZE, FALSE, event.c_str());
    if (!go || WaitForSingleObject(go, 10000) != WAIT_OBJECT_0) code = 99;
    if (go) CloseHandle(go);
  }

  // Written under a temporary name and renamed, so a reader never sees half a line.
  HANDLE out = CreateFileA("cmdline.tmp", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (out == INVALID_HANDLE_VALUE) return 98;
  DWORD written = 0;
  WriteFile(out, line, static_cast<DWORD>(std::strlen(line)), &written, nullptr);
  CloseHandle(out);
  if (!MoveFileExA("cmdline.tmp", "cmdline.out", MOVEFILE_REPLACE_EXISTING)) return 97;
  return code;
}
