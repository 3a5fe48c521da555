// Saved shell links: the bytes a link object writes into the model's file
// system, and reading them back for tests.
#include <cstdlib>

#include "platform/headless/headless_internal.h"

namespace hl {
namespace detail {

// Each field as "Name length:text" so that any character survives.
std::string EncodeLink(const LinkRecord& link) {
  std::string out = "HEADLESS SHELL LINK\n";
  auto field = [&out](const char* name, const std::string& value) {
    out += name;
    out += ' ';
    out += std::to_string(value.size());
    out += ':';
    out += value;
    out += '\n';
  };
  field("Target", link.target);
  field("Description", link.description);
  field("WorkingDirectory", link.workingDirectory);
  return out;
}

std::optional<LinkRecord> DecodeLink(const std::string& content) {
  const std::string header = "HEADLESS SHELL LINK\n";
  if (content.compare(0, header.size(), header) != 0) return std::nullopt;
  size_t pos = header.size();
  auto field = [&](const char* name, std::string* value) {
    std::string prefix = std::string(name) + ' ';
    if (content.compare(pos, prefix.size(), prefix) != 0) return false;
    pos += prefix.size();
    size_t colon = content.find(':', pos);
    if (colon == std::string::npos) return false;
    size_t len = std::strtoul(content.substr(pos, colon - pos).c_str(), nullptr, 10);
    if (colon + 1 + len + 1 > content.size() || content[colon + 1 + len] != '\n') return false;
    *value = content.substr(colon + 1, len);
    pos = colon + 1 + len + 1;
    return true;
  };
  LinkRecord link;
  if (!field("Target", &link.target) || !field("Description", &link.description) ||
      !field("WorkingDirectory", &link.workingDirectory)) {
    return std::nullopt;
  }
  return link;
}

}  // namespace detail

std::optional<LinkRecord> ReadLink(const std::string& path) {
  auto node = detail::Lookup(detail::Resolve(path));
  if (!node || node->isDir || node->sized) return std::nullopt;
  return detail::DecodeLink(node->content);
}

}  // namespace hl
