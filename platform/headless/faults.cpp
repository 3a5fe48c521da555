// Faults injected by tests, matched against the calls of the headless backend.
#include <cstdio>
#include <cstdlib>

#include "platform/headless/headless_internal.h"

namespace hl {
namespace detail {

namespace {

bool Matches(const Fault& fault, Op op, const std::string& subject) {
  if (fault.op != op) return false;
  if (fault.path.empty()) return true;
  return IEquals(fault.path, subject) || IEquals(Subject(fault.path), subject);
}

}  // namespace

Fault* Armed(Op op, const std::string& subject, bool useUp) {
  Fault* hit = nullptr;
  for (Fault& fault : S().faults) {
    if (!Matches(fault, op, subject)) continue;
    if (fault.skip > 0) {
      --fault.skip;
      continue;
    }
    if (fault.times == 0) continue;
    if (useUp) UseUp(&fault);
    if (!hit) hit = &fault;
  }
  return hit;
}

void UseUp(Fault* fault) {
  if (fault && fault->times > 0) --fault->times;
}

std::optional<Fault> Strike(Op op, const std::string& subject) {
  Fault* fault = Armed(op, subject, true);
  return fault ? std::optional<Fault>(*fault) : std::nullopt;
}

void Misuse(const char* what) {
  std::fprintf(stderr, "headless backend: %s\n", what);
  std::abort();
}

}  // namespace detail

void InjectFault(const Fault& fault) { detail::S().faults.push_back(fault); }

}  // namespace hl
