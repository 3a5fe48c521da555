// The agreement proof's other half: a whole installation of a medium folder
// by the engine's own RunInstall, in the headless model, with the medium
// mirrored exactly as mkmedium check mirrors it (contents included). Prints
// what the run did as JSON: its result, its message, every file in the
// installation directory with its size and every link in the program folder
// with its target.
//
//   mkmedium_rehearse DIR [--install-dir PATH] [--programs PATH]
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/install_run.h"
#include "engine/install_state.h"
#include "engine/path_rules.h"
#include "platform/headless/headless.h"
#include "tools/mkmedium/medium.h"
#include "tools/mkmedium/medium_host.h"
#include "tools/mkmedium/medium_util.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: mkmedium_rehearse DIR [--install-dir PATH] [--programs PATH]\n");
    return 3;
  }
  medium::Settings settings;
  for (int i = 2; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--install-dir") == 0) settings.installDir = argv[i + 1];
    if (std::strcmp(argv[i], "--programs") == 0) settings.programs = argv[i + 1];
  }
  std::vector<medium::HostNote> notes;
  std::string error;
  medium::OpenOptions options;
  options.contents = true;
  if (!medium::OpenMedium(argv[1], options, &notes, &error)) {
    std::fprintf(stderr, "mkmedium_rehearse: %s\n", error.c_str());
    return 3;
  }
  hl::AddDir(settings.programs);
  hl::SetProgramsFolder(settings.programs);

  // The two fields as the Install command hands them over.
  InstallState& st = g_installState;
  medium::CopyField(st.installDir, settings.installDir);
  paths::TidyFieldText(st.installDir);
  if (!paths::Join(st.programFolder, settings.programs.c_str(), settings.folder.c_str())) st.programFolder[0] = '\0';
  const std::vector<std::string> before = hl::ListAll();

  int result = RunInstall();

  std::string out = "{\n  \"result\": " + std::to_string(result) + ",\n  \"message\": " +
                    medium::JsonString(st.errorText) + ",\n  \"written\": [";
  bool first = true;
  for (const std::string& path : hl::ListAll()) {
    bool existed = false;
    for (const std::string& b : before) existed = existed || b == path;
    if (existed || !hl::IsFile(path)) continue;
    std::string entry = "{\"path\": " + medium::JsonString(path) + ", \"size\": " + std::to_string(hl::FileSize(path));
    if (auto link = hl::ReadLink(path)) {
      entry += ", \"target\": " + medium::JsonString(link->target) +
               ", \"workingDirectory\": " + medium::JsonString(link->workingDirectory);
    }
    out += std::string(first ? "\n    " : ",\n    ") + entry + "}";
    first = false;
  }
  out += "\n  ]\n}\n";
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}
