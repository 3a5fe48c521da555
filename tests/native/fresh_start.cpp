#include "tests/native/fresh_start.h"

#include <cstdlib>

#include "engine/install_state.h"
#include "platform/headless/headless.h"

void FreshStart() {
  std::free(g_installState.entries);
  g_installState = InstallState{};
  hl::Reset();
}
