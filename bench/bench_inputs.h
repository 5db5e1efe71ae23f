#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace sievetext::bench {

// A page mix that looks like real HTML: head with meta tags, an inline style
// and script, indented mark-up with attributes, comments, paragraphs of words
// with entities, lists, tables and links, lines ending in CR LF or LF.
// Deterministic; `units` is the length in UTF-16 code units.
std::u16string PageMix(std::size_t units);

// One of the adversarial inputs by name (see kAdversarialNames), `units` long.
std::u16string Adversarial(const std::string& name, std::size_t units);
extern const std::vector<std::string> kAdversarialNames;

// Every .html or .htm file under `folder`, read as UTF-8 (Latin-1 when the
// bytes are not valid UTF-8) into UTF-16.
std::vector<std::u16string> HtmlFilesUnder(const std::string& folder);

}  // namespace sievetext::bench
