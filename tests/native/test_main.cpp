// Entry point of the native tests: every test starts from FreshStart (the
// installer's state and the headless machine as new), ends with it too, so
// nothing it made outlives it, and a failed test prints the end of the call
// log.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/headless/headless.h"
#include "tests/native/fresh_start.h"
#include "tests/native/installer_templates.h"

namespace {

class HeadlessMachineListener : public testing::EmptyTestEventListener {
 public:
  // Runs before the fixture is constructed, so fixtures build on a clean machine.
  void OnTestStart(const testing::TestInfo&) override { FreshStart(); }

  void OnTestEnd(const testing::TestInfo& info) override {
    PrintCallLogIfFailed(info);
    FreshStart();
  }

 private:
  static void PrintCallLogIfFailed(const testing::TestInfo& info) {
    if (!info.result() || !info.result()->Failed()) return;
    const auto& calls = hl::Calls();
    if (calls.empty()) return;
    std::string dump = hl::DumpCalls();
    // The last lines are the ones near the failure; a long run is cut at the top.
    constexpr size_t kMaxChars = 6000;
    if (dump.size() > kMaxChars) {
      size_t cut = dump.find('\n', dump.size() - kMaxChars);
      dump = "...\n" + dump.substr(cut == std::string::npos ? 0 : cut + 1);
    }
    std::fprintf(stderr, "Headless call log (%zu calls):\n%s", calls.size(), dump.c_str());
  }
};

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testsupport::RegisterInstallerTemplates();
  testing::UnitTest::GetInstance()->listeners().Append(new HeadlessMachineListener);
  return RUN_ALL_TESTS();
}
