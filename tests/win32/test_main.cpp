// Entry point of the Windows tests (run under Wine by ctest). Every test
// starts and ends with the installer's state as at process start (its
// manifest table released), so no fixture resets it by hand.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "engine/install_state.h"

namespace {

void FreshInstallState() {
  std::free(g_installState.entries);
  g_installState = InstallState{};
}

class InstallStateListener : public testing::EmptyTestEventListener {
 public:
  void OnTestStart(const testing::TestInfo&) override { FreshInstallState(); }
  void OnTestEnd(const testing::TestInfo&) override { FreshInstallState(); }
};

}  // namespace

int main(int argc, char** argv) {
  // Unbuffered, so a test that hangs until ctest's timeout still shows how far it got.
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  testing::InitGoogleTest(&argc, argv);
  testing::UnitTest::GetInstance()->listeners().Append(new InstallStateListener);
  return RUN_ALL_TESTS();
}
