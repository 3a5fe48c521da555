// Shared pieces of the fuzz targets: the headless machine set up per input,
// the medium's files made from names the input mentions, and the check that
// stops the run with a readable reason.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/install_state.h"
#include "platform/headless/headless.h"
#include "tests/native/installer_templates.h"

// A broken invariant is a finding: libFuzzer keeps the input that caused the
// abort as a crash artifact.
#define FUZZ_CHECK(cond, ...)                                          \
  do {                                                                 \
    if (!(cond)) {                                                     \
      std::fprintf(stderr, "invariant broken: %s\n  ", #cond);         \
      std::fprintf(stderr, __VA_ARGS__);                               \
      std::fprintf(stderr, "\n");                                      \
      std::abort();                                                    \
    }                                                                  \
  } while (0)

namespace fuzz {

// How a name the input mentions becomes a file on the medium. Marker
// characters in the name steer it, so a mutation that adds or drops one
// reaches the other branch of the engine:
//   '~'  the file is not there at all
//   '#'  the file is there but cannot be opened for reading
//   '$'  a sized file: one '$' 5 GiB (the 32-bit sum would wrap), two or more
//        2^63 bytes (the 64-bit sum must hold at the top)
//   otherwise a small file whose content is the name, repeated.
struct MediumFile {
  bool present = false;
  bool unreadable = false;
  uint64_t size = 0;
};

inline std::string FoldCase(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The full path a name resolves to on the machine, case-folded; "" when it
// does not resolve.
inline std::string ResolvedKey(const std::string& name) { return FoldCase(hl::ResolvedPath(name)); }

class Medium {
 public:
  // Puts a file for `name` on the machine unless its markers say otherwise.
  // Names the machine cannot hold (bad characters, a file in the way) are
  // skipped: the engine then meets a missing file, which is fine.
  void Add(const std::string& name) {
    if (name.empty() || name.find('~') != std::string::npos) return;
    std::string key = ResolvedKey(name);
    if (key.empty()) return;
    try {
      size_t dollars = 0;
      for (char c : name) dollars += (c == '$');
      if (dollars == 1) {
        hl::AddSizedFile(name, (uint64_t{5} << 30) + name.size());
      } else if (dollars > 1) {
        hl::AddSizedFile(name, uint64_t{1} << 63);
      } else {
        std::string content;
        for (size_t i = 0; i < 1 + name.size() % 4; ++i) content += name;
        hl::AddFile(name, content);
      }
      if (name.find('#') != std::string::npos) {
        hl::SetUnreadable(name);
        unreadable_.insert(key);
      }
    } catch (const std::logic_error&) {
      // Not a path the model can hold a file at.
    }
  }

  // Whether the engine's open of `name` must succeed, and the length it reads.
  bool Openable(const std::string& name, uint64_t* size) const {
    if (!hl::IsFile(name)) return false;
    if (unreadable_.count(ResolvedKey(name))) return false;
    *size = hl::FileSize(name);
    return true;
  }

 private:
  std::set<std::string> unreadable_;
};

// A fresh machine and a fresh installation state for one input.
inline void FreshMachine() {
  // The installer's templates, as the native tests have them.
  static const bool templates = (testsupport::RegisterInstallerTemplates(), true);
  (void)templates;
  std::free(g_installState.entries);
  g_installState = InstallState{};
  hl::Reset();
}

inline bool Terminated(const char* buf, size_t size) { return std::memchr(buf, '\0', size) != nullptr; }

}  // namespace fuzz
