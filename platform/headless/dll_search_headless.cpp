// The DLL search order has no meaning in the headless model: the call is
// only logged, so tests can see that start-up makes it before anything else.
#include "platform/framework.h"
#include "platform/framework_backend.h"
#include "platform/headless/headless_internal.h"

namespace fw {

void HardenDllSearch() { hl::detail::Log(hl::Op::kHardenDllSearch, "", "", 1); }

}  // namespace fw
