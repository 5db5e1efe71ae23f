#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sievetext {

// An INI file kept line by line, so that writing one key back leaves every
// other line (sections, keys, comments, blank lines) exactly as it was.
// Sections are written plainly, "[General]", as a person would.
class IniDocument {
 public:
  // Reads `text`. A leading UTF-8 byte-order mark is skipped (and written
  // back by text()). Returns false, leaving the document empty, when the
  // text is not an INI file: a NUL byte, or a line that is neither blank, a comment
  // (";" or "#"), a "[section]" nor "key=value".
  [[nodiscard]] bool parse(std::string_view text);

  // The value of the first `key` in the first `section`, blanks around it
  // removed.
  std::optional<std::string> get(std::string_view section, std::string_view key) const;

  // Sets the value, adding the key at the end of the section, or the section
  // at the end of the document, when missing. Returns whether anything changed.
  [[nodiscard]] bool set(std::string_view section, std::string_view key, std::string_view value);

  std::string text() const;

 private:
  struct Line {
    std::string raw;      // the line as read, without its "\n"
    std::string section;  // the section it belongs to (for a header: its own)
    std::string key;      // for key lines, the key with blanks removed
    bool isHeader = false;
    bool isKey = false;
  };
  // Index of the key's line, or npos.
  std::size_t find(std::string_view section, std::string_view key) const;

  std::vector<Line> lines_;
  bool bom_ = false;
};

}  // namespace sievetext
