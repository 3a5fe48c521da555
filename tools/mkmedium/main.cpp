// mkmedium: writes, checks and packages a Brackenvue medium.
//
//   mkmedium init DIR [--force]
//   mkmedium check DIR [--install-dir PATH] [--programs PATH] [--json]
//   mkmedium image DIR OUT.iso [--label NAME] [--install-dir PATH] [--programs PATH]
//
// Exit status: check 0 clean, 1 warnings only, 2 errors; init and image 0
// done, 2 refused because of the medium; every command 3 when it could not
// do its work (bad arguments, a folder that cannot be read or written, the
// image writer failing).
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/mkmedium/medium.h"
#include "tools/mkmedium/medium_host.h"
#include "tools/mkmedium/medium_util.h"

namespace {

constexpr int kRefused = 2;
constexpr int kFailed = 3;
// Joliet keeps this many characters of a name (xorriso's joliet_long_names);
// a longer name would reach Windows cut short.
constexpr size_t kJolietNameChars = 103;

const char kUsage[] =
    "usage: mkmedium init DIR [--force]\n"
    "       mkmedium check DIR [--install-dir PATH] [--programs PATH] [--json]\n"
    "       mkmedium image DIR OUT.iso [--label NAME] [--install-dir PATH] [--programs PATH]\n";

struct Args {
  std::string command;
  std::vector<std::string> positional;
  medium::Settings settings;
  bool force = false, json = false;
  std::string label = "BRACKENVUE";
};

int Usage(const std::string& why) {
  std::fprintf(stderr, "mkmedium: %s\n%s", why.c_str(), kUsage);
  return kFailed;
}

bool Parse(int argc, char** argv, Args* a, std::string* why) {
  if (argc < 2) {
    *why = "no command";
    return false;
  }
  a->command = argv[1];
  for (int i = 2; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= argc) {
        *why = arg + " needs a value";
        return false;
      }
      *out = argv[++i];
      return true;
    };
    if (arg == "--force" && a->command == "init") {
      a->force = true;
    } else if (arg == "--json" && a->command == "check") {
      a->json = true;
    } else if (arg == "--install-dir" && a->command != "init") {
      if (!value(&a->settings.installDir)) return false;
    } else if (arg == "--programs" && a->command != "init") {
      if (!value(&a->settings.programs)) return false;
    } else if (arg == "--label" && a->command == "image") {
      if (!value(&a->label)) return false;
    } else if (arg.size() > 1 && arg[0] == '-' && arg.compare(0, 2, "--") == 0) {
      *why = "unknown option " + arg + " for " + a->command;
      return false;
    } else {
      a->positional.push_back(arg);
    }
  }
  size_t want = a->command == "image" ? 2 : 1;
  if (a->command != "init" && a->command != "check" && a->command != "image") {
    *why = "unknown command " + a->command;
    return false;
  }
  if (a->positional.size() != want) {
    *why = a->command + (want == 2 ? " takes DIR and OUT.iso" : " takes one DIR");
    return false;
  }
  return true;
}

int Init(const Args& a) {
  const std::string& dir = a.positional[0];
  std::vector<medium::HostNote> notes;
  std::string error;
  if (!medium::OpenMedium(dir, {}, &notes, &error)) {
    std::fprintf(stderr, "mkmedium: %s\n", error.c_str());
    return kFailed;
  }
  // Asked first for a clear message; the write itself never replaces either.
  std::vector<medium::FileOnMedium> files = medium::ListMedium();
  for (const auto& f : files) {
    if (!a.force && medium::Lower(f.path) == "setup.inf") {
      std::fprintf(stderr, "mkmedium: %s already has a setup.inf; --force replaces it\n", dir.c_str());
      return kRefused;
    }
  }
  std::string text;
  std::vector<std::string> refusals;
  if (!medium::MakeManifest(notes, &text, &refusals)) {
    std::fprintf(stderr, "mkmedium: no setup.inf written for %s:\n", dir.c_str());
    for (const std::string& r : refusals) std::fprintf(stderr, "  %s\n", r.c_str());
    return kRefused;
  }
  if (!medium::WriteWholeFile(dir, "setup.inf", text, a.force, &error)) {
    std::fprintf(stderr, "mkmedium: %s\n", error.c_str());
    return error.find("exists already") != std::string::npos ? kRefused : kFailed;
  }
  std::printf("wrote %s:\n", (dir + "/setup.inf").c_str());
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find("\r\n", start);
    std::printf("  %s\n", text.substr(start, end - start).c_str());
    start = end + 2;
  }
  return 0;
}

int Check(const Args& a) {
  // Before OpenMedium, which may change the current directory.
  const std::string folder = medium::HostFullPath(a.positional[0]);
  std::vector<medium::HostNote> notes;
  std::string error;
  if (!medium::OpenMedium(a.positional[0], {}, &notes, &error)) {
    std::fprintf(stderr, "mkmedium: %s\n", error.c_str());
    return kFailed;
  }
  medium::Report report = medium::CheckMedium(a.settings, notes);
  report.folder = folder;
  std::string out = a.json ? medium::FormatJson(report) : medium::FormatText(report);
  std::fwrite(out.data(), 1, out.size(), stdout);
  return report.ExitStatus();
}

bool GoodLabel(const std::string& label) {
  if (label.empty() || label.size() > 16) return false;
  for (char c : label) {
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return false;
  }
  return true;
}

int Image(const Args& a) {
  const std::string& dir = a.positional[0];
  const std::string out = medium::HostFullPath(a.positional[1]);
  const std::string folder = medium::HostFullPath(dir);
  if (!GoodLabel(a.label)) {
    return Usage("the label must be 1 to 16 letters, digits or underscores (Windows shows 16)");
  }
  std::string label = a.label;
  for (char& c : label) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;

  std::vector<medium::HostNote> notes;
  std::string error;
  if (!medium::OpenMedium(dir, {}, &notes, &error)) {
    std::fprintf(stderr, "mkmedium: %s\n", error.c_str());
    return kFailed;
  }
  medium::Report report = medium::CheckMedium(a.settings, notes);
  report.folder = folder;
  // What only an image needs: its installer, and names Joliet keeps whole.
  for (const medium::Problem& p : report.problems) {
    if (p.code == "no-installer") {
      report.problems.push_back({medium::Severity::kError, 0, "no-installer",
                                 "an image needs INSTALL.EXE in the medium's root, for autorun to start"});
      break;
    }
  }
  for (const medium::FileOnMedium& f : medium::ListMedium()) {
    size_t slash = f.path.rfind('\\');
    std::string name = slash == std::string::npos ? f.path : f.path.substr(slash + 1);
    if (name.size() > kJolietNameChars) {
      report.problems.push_back({medium::Severity::kError, 0, "joliet-name",
                                 medium::Quote(f.path) + ": a CD keeps 103 characters of a name (Joliet); Windows "
                                 "would see it cut short"});
    }
  }
  std::string text = medium::FormatText(report);
  if (report.Errors() > 0) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fprintf(stderr, "mkmedium: no image written: the medium has errors\n");
    return kRefused;
  }
  if (report.Warnings() > 0) std::fwrite(text.data(), 1, text.size(), stdout);

  // Written beside OUT.iso and renamed into place: a failed run leaves no
  // partial image under that name, and an earlier one stays as it was.
  const std::string partial = out + ".part";
  const std::string autorun = out + ".autorun.inf";
  medium::HostRemove(partial);
  if (!medium::WriteWholeFile(autorun.substr(0, autorun.find_last_of("/\\")),
                              autorun.substr(autorun.find_last_of("/\\") + 1), medium::AutorunInf(), true,
                              &error)) {
    std::fprintf(stderr, "mkmedium: %s\n", error.c_str());
    return kFailed;
  }
  std::vector<std::string> xorrisoArgs = {
      "-report_about", "WARNING",
      "-outdev", "stdio:" + partial,
      "-volid", label,
      "-joliet", "on",
      "-compliance", "joliet_long_names",
      "-follow", "link",
      "-map", folder, "/",
      "-map", autorun, "/autorun.inf",
      "-commit"};
  int rc = medium::RunImageWriter(xorrisoArgs, &error);
  medium::HostRemove(autorun);
  if (rc != 0) {
    medium::HostRemove(partial);
    if (rc < 0) {
      std::fprintf(stderr, "mkmedium: %s\n", error.c_str());
    } else {
      std::fprintf(stderr, "mkmedium: xorriso failed (exit status %d); no image written\n", rc);
    }
    return kFailed;
  }
  if (!medium::HostRename(partial, out, &error)) {
    medium::HostRemove(partial);
    std::fprintf(stderr, "mkmedium: %s\n", error.c_str());
    return kFailed;
  }
  std::printf("wrote %s: volume %s, %zu files listed, autorun.inf starts INSTALL.EXE\n", out.c_str(), label.c_str(),
              report.entries.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Args a;
  std::string why;
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (!Parse(argc, argv, &a, &why)) return Usage(why);
  if (a.command == "init") return Init(a);
  if (a.command == "check") return Check(a);
  return Image(a);
}
