#include "settings/ini_document.h"

namespace sievetext {
namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

}  // namespace

bool IniDocument::parse(std::string_view text) {
  lines_.clear();
  bom_ = false;
  if (text.find('\0') != std::string_view::npos) return false;
  // An editor's UTF-8 byte-order mark is kept for writing back, not read.
  constexpr std::string_view kBom = "\xEF\xBB\xBF";
  if (text.substr(0, kBom.size()) == kBom) {
    text.remove_prefix(kBom.size());
    bom_ = true;
  }
  std::string section;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    Line line;
    line.raw = std::string(text.substr(start, end - start));
    start = end + 1;

    const std::string_view body = Trim(line.raw);
    if (body.empty() || body.front() == ';' || body.front() == '#') {
      // blank or comment
    } else if (body.front() == '[' && body.back() == ']' && body.size() >= 2) {
      section = std::string(Trim(body.substr(1, body.size() - 2)));
      line.isHeader = true;
    } else if (const std::size_t eq = body.find('='); eq != std::string_view::npos && eq > 0) {
      line.key = std::string(Trim(body.substr(0, eq)));
      line.isKey = !line.key.empty();
      if (!line.isKey) {
        lines_.clear();
        bom_ = false;
        return false;
      }
    } else {
      lines_.clear();
      bom_ = false;
      return false;
    }
    line.section = section;
    lines_.push_back(std::move(line));
  }
  return true;
}

std::size_t IniDocument::find(std::string_view section, std::string_view key) const {
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].isKey && lines_[i].section == section && lines_[i].key == key) return i;
  }
  return kNone;
}

std::optional<std::string> IniDocument::get(std::string_view section, std::string_view key) const {
  const std::size_t i = find(section, key);
  if (i == kNone) return std::nullopt;
  const std::string& raw = lines_[i].raw;
  return std::string(Trim(std::string_view(raw).substr(raw.find('=') + 1)));
}

bool IniDocument::set(std::string_view section, std::string_view key, std::string_view value) {
  if (const std::size_t i = find(section, key); i != kNone) {
    if (get(section, key) == value) return false;
    Line& line = lines_[i];
    const bool crlf = !line.raw.empty() && line.raw.back() == '\r';
    // Keep the key as it was spelt and spaced; only the value changes.
    line.raw = line.raw.substr(0, line.raw.find('=') + 1);
    line.raw.append(value);
    if (crlf) line.raw.push_back('\r');
    return true;
  }

  Line line;
  line.raw = std::string(key) + "=" + std::string(value);
  line.section = std::string(section);
  line.key = std::string(key);
  line.isKey = true;

  // After the section's last key, or right after its header.
  std::size_t header = kNone;
  std::size_t lastKey = kNone;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].isHeader && lines_[i].section == section && header == kNone) header = i;
    if (header != kNone && lines_[i].isKey && lines_[i].section == section) lastKey = i;
    if (header != kNone && lines_[i].isHeader && i > header) break;
  }
  if (header != kNone) {
    const std::size_t at = (lastKey != kNone ? lastKey : header) + 1;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
    return true;
  }

  if (!lines_.empty() && !Trim(lines_.back().raw).empty()) lines_.push_back(Line{});
  Line head;
  head.raw = "[" + std::string(section) + "]";
  head.section = std::string(section);
  head.isHeader = true;
  lines_.push_back(std::move(head));
  lines_.push_back(std::move(line));
  return true;
}

std::string IniDocument::text() const {
  std::string out = bom_ ? "\xEF\xBB\xBF" : "";
  for (const Line& line : lines_) {
    out += line.raw;
    out += '\n';
  }
  return out;
}

}  // namespace sievetext
