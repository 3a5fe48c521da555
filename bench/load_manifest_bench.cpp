// Times LoadManifest natively, against the headless platform, for manifests of
// 1,000, 10,000 and 100,000 entries, to show that it grows linearly.
//
// The headless platform keeps files in memory and finds a name by scanning its
// directory, which would make a flat medium of 100,000 files quadratic in the
// model itself. The listed files are therefore spread over a tree of five
// levels of at most ten directories each ("3\1\4\1\5\f031415.dat"), so a
// lookup costs about the same at every size. The same lookups (open, length,
// close per file) are also timed on their own: they are nearly all of the
// time, the reader's own work being small beside the model's path handling.
//
// Each size is timed several times; the minimum is reported (the least
// disturbed run). Output: one line per size,
//   entries=N seconds=S platform=P ns_per_entry=E
// then "linear=yes|no ratio=R", R being the per-entry cost of the whole load
// at the largest size divided by that at the smallest.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/install_state.h"
#include "engine/manifest.h"
#include "platform/headless/headless.h"
#include "platform/services.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string NameOf(int i) {
  char name[64];
  std::snprintf(name, sizeof name, "%d\\%d\\%d\\%d\\%d\\f%06d.dat", i / 10000 % 10, i / 1000 % 10,
                i / 100 % 10, i / 10 % 10, i % 10, i);
  return name;
}

struct Timing {
  double load = 1e300;
  double platform = 1e300;
};

bool TimeSize(int entries, int repeats, Timing* out) {
  hl::Reset();
  std::vector<std::string> names;
  names.reserve(entries);
  std::string manifest = std::to_string(entries) + "\r\n";
  for (int i = 0; i < entries; ++i) {
    names.push_back(NameOf(i));
    hl::AddFile("C:\\MEDIA\\" + names.back(), "x");
    manifest += names.back() + " File " + std::to_string(i) + "\r\n";
  }
  manifest += ".readme 0\\0\\0\\0\\0\\f000000.dat\r\n";
  hl::AddFile("C:\\MEDIA\\setup.inf", manifest);

  for (int r = 0; r < repeats; ++r) {
    hl::ClearCalls();  // the model logs every call; keep the log from growing across repeats
    auto t0 = Clock::now();
    int ok = LoadManifest();
    auto t1 = Clock::now();
    if (ok != 1 || g_installState.fileCount != entries ||
        g_installState.totalBytes != static_cast<uint64_t>(entries)) {
      std::fprintf(stderr, "LoadManifest failed for %d entries\n", entries);
      return false;
    }
    out->load = std::min(out->load, std::chrono::duration<double>(t1 - t0).count());

    hl::ClearCalls();
    t0 = Clock::now();
    for (const std::string& name : names) {
      plat::FileReader* f = plat::OpenForRead(name.c_str());
      uint64_t size = 0;
      if (!f || !plat::GetFileLength(f, &size)) {
        std::fprintf(stderr, "cannot open %s\n", name.c_str());
        return false;
      }
      plat::CloseFile(f);
    }
    t1 = Clock::now();
    out->platform = std::min(out->platform, std::chrono::duration<double>(t1 - t0).count());
  }
  hl::ClearCalls();
  return true;
}

}  // namespace

int main() {
  const int sizes[] = {1000, 10000, 100000};
  double perEntry[3];
  for (int i = 0; i < 3; ++i) {
    Timing t;
    if (!TimeSize(sizes[i], sizes[i] >= 100000 ? 3 : 5, &t)) return 1;
    perEntry[i] = t.load / sizes[i];
    std::printf("entries=%d seconds=%.6f platform=%.6f ns_per_entry=%.1f\n", sizes[i], t.load,
                t.platform, perEntry[i] * 1e9);
    std::fflush(stdout);
  }
  // A linear reader keeps its per-entry cost flat; a quadratic one would
  // multiply it by about 100 between the smallest and the largest manifest.
  double ratio = perEntry[2] / perEntry[0];
  std::printf("linear=%s ratio=%.2f\n", ratio < 3.0 ? "yes" : "no", ratio);
  return 0;
}
