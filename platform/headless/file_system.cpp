// The in-memory file system of the headless machine: drives holding trees of
// nodes, found by resolved paths.
#include <algorithm>

#include "platform/headless/headless_internal.h"

namespace hl::detail {

std::shared_ptr<Node> Node::Child(const std::string& childName) const {
  auto it = byName.find(LowerName(childName));
  return it == byName.end() ? nullptr : it->second;
}

void Node::AddChild(const std::shared_ptr<Node>& child) {
  children.push_back(child);
  byName[LowerName(child->name)] = child;
}

void Node::RemoveChild(const std::shared_ptr<Node>& child) {
  children.erase(std::find(children.begin(), children.end(), child));
  byName.erase(LowerName(child->name));
}

std::shared_ptr<Node> Lookup(const Path& path) {
  if (!path.ok) return nullptr;
  const State& s = S();
  auto drive = s.drives.find(path.drive);
  if (drive == s.drives.end()) return nullptr;
  std::shared_ptr<Node> node = drive->second;
  for (const auto& part : path.parts) {
    if (!node->isDir) return nullptr;
    node = node->Child(part);
    if (!node) return nullptr;
  }
  if (path.trailingSeparator && !node->isDir) return nullptr;
  return node;
}

std::shared_ptr<Node> ParentDir(const Path& path) {
  if (!path.ok || path.parts.empty()) return nullptr;
  Path parent = path;
  parent.parts.pop_back();
  parent.trailingSeparator = false;
  std::shared_ptr<Node> node = Lookup(parent);
  return node && node->isDir ? node : nullptr;
}

}  // namespace hl::detail
