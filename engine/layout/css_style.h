#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/layout/css_syntax.h"
#include "engine/layout/html_tokenizer.h"

namespace sievetext::layout::css {

// The properties that change which text a page shows, or how it is laid
// out as plain text. Every other property is dropped when a sheet is read.
enum class Property : std::uint8_t {
  Display,
  Visibility,
  WhiteSpace,
  TextTransform,
  ContentVisibility,
  Float,
  Position,
};
inline constexpr std::size_t kProperties = 7;

// Declared values, one byte a property; 0: not declared.
namespace value {
inline constexpr std::uint8_t kNone = 0;
// For every property.
inline constexpr std::uint8_t kInherit = 0xF0, kInitial = 0xF1, kUnset = 0xF2, kRevert = 0xF3;
// display
inline constexpr std::uint8_t kDisplayNone = 1, kDisplayInline = 2, kDisplayBlock = 3,
                              kDisplayContents = 4, kDisplayTableCell = 5, kDisplayTableRow = 6;
// visibility
inline constexpr std::uint8_t kVisible = 1, kHidden = 2;
// white-space: normal and nowrap collapse, pre, pre-wrap and break-spaces keep.
inline constexpr std::uint8_t kCollapse = 1, kPreserve = 2, kPreLine = 3;
// text-transform
inline constexpr std::uint8_t kTransformNone = 1, kUppercase = 2, kLowercase = 3, kCapitalize = 4;
// content-visibility
inline constexpr std::uint8_t kContentVisible = 1, kContentHidden = 2, kContentAuto = 3;
// float: none or not; position: in the flow (static, relative, sticky) or out of it.
inline constexpr std::uint8_t kInFlow = 1, kOutOfFlow = 2;
}  // namespace value

using Declared = std::array<std::uint8_t, kProperties>;

// The size of the window a page is laid out for, in CSS pixels: media
// queries are answered for a screen of this size.
struct MediaContext {
  double width = 800;
  double height = 600;
};

// What selectors look at in one element. Kept for each open element, so
// each field is bounded: see StyleSet's limits.
struct ElementFacts {
  std::u16string name;  // lower case
  std::uint64_t nameHash = 0;
  std::u16string id;
  std::vector<std::u16string> classes;
  std::vector<std::pair<std::u16string, std::u16string>> attributes;  // those selectors test
  std::size_t classCount = 0;
  std::size_t attributeCount = 0;
  bool hasHref = false;
  // Whether classes or an id (names), or attributes, were left out because
  // no sheet read so far tested them, and the sheets' generation then: a
  // later sheet may test them, and then these facts cannot tell.
  bool droppedNames = false;
  bool droppedAttributes = false;
  std::uint32_t generation = 0;

  // The value of the kept attribute `name`, or null.
  const std::u16string* attribute(std::u16string_view attributeName) const;
};

// Supplies the text of a linked or imported style sheet. `location` is the
// address as the page gives it, made relative to the page where the
// reference stood in a sheet; the loader decides what it may open. False:
// no sheet (missing, refused, unreadable).
class StyleSheetLoader {
 public:
  virtual ~StyleSheetLoader() = default;
  virtual bool load(std::u16string_view location, std::u16string& text) = 0;
};

// The author style sheets of one page and the cascade over them.
//
// Selectors: type, universal, class, id, attribute ([a], =, ~=, |=, ^=, $=,
// *=, with the i and s flags), compound, descendant and child combinators,
// lists, and the pseudo-classes whose answer does not depend on a user or
// on siblings: :root, :link and :any-link, :not() and :is()/:where() of
// compounds; :hover, :focus, :active, :checked, :visited, :target and the
// like never match (nobody points at a page read as text). Anything else
// (sibling combinators, structural pseudo-classes, pseudo-elements,
// namespaces) makes the selector match nothing. Declarations: the
// properties above, keyword values only, with !important; the cascade
// orders by importance, inline style, specificity and order.
// At-rules: @media (types, width and height features, orientation,
// prefers-color-scheme, with not/only/and, lists; unknown features are
// false), @import (with a media list) from the start of a sheet; the rest
// (@supports, @layer, @font-face, ...) is skipped, content and all.
//
// Memory is bounded whatever the sheets: at most kMaxSheets sheets and
// kMaxTotalUnits units of sheet text are read in all (what comes beyond is
// skipped whole), at most kMaxRules selectors kept, imports kMaxImportDepth
// deep; a sheet read again moves to the end of the order instead of being
// kept twice.
class StyleSet {
 public:
  static constexpr std::size_t kMaxSheets = 256;
  static constexpr std::size_t kMaxTotalUnits = std::size_t{4} << 20;
  static constexpr std::size_t kMaxRules = std::size_t{1} << 16;
  static constexpr int kMaxImportDepth = 4;
  // Per element (ElementFacts): longer names and values are not kept, and
  // selectors that test them do not match.
  static constexpr std::size_t kMaxFactUnits = 256;
  static constexpr std::size_t kMaxClasses = 32;
  static constexpr std::size_t kMaxAttributes = 16;

  explicit StyleSet(MediaContext media = {});
  StyleSet(const StyleSet&) = delete;
  StyleSet& operator=(const StyleSet&) = delete;
  ~StyleSet();

  // Reads one sheet: a style element's text (`location` empty) or a linked
  // sheet's (its location, against which its imports are resolved).
  void addSheet(std::u16string_view text, std::u16string_view location, StyleSheetLoader* loader);
  // Reads the sheet at `location` (a link's address) through `loader`, as
  // addSheet does. At most kMaxSheets sheets are asked for in all, imports
  // included.
  void link(std::u16string_view location, StyleSheetLoader* loader);
  // Whether a media attribute's list matches (an empty one does).
  bool mediaMatches(std::u16string_view list) const;

  bool empty() const { return rules_.empty(); }
  // Whether some selector tests the attribute `name` (lower case): only
  // those are kept in ElementFacts.
  bool testsAttribute(std::u16string_view name) const;

  // The declared values for path.back(), whose ancestors are the rest of
  // `path` (the root first), with its inline style.
  Declared cascade(std::span<const ElementFacts> path, std::u16string_view inlineStyle) const;

  // Fills `facts` for the element `name` with the given attributes: the
  // classes, id and attributes some selector read so far tests, or, before
  // any rule, all of them with `keepAll` and none without.
  // Returns the element's style attribute, or null.
  const Attribute* describe(ElementFacts& facts, std::u16string_view name,
                            std::span<const Attribute> attributes, bool keepAll = true) const;

  struct Compound;
  struct Selector;
  struct Rule;
  struct Declaration {
    Property property;
    std::uint8_t value;
    bool important;
  };

 private:
  struct Sheet {
    std::uint64_t hash;
    std::uint32_t order;
  };
  struct Parser;

  void addSheetAt(std::u16string_view text, std::u16string_view location, StyleSheetLoader* loader,
                  int depth);
  void index(std::uint32_t rule);
  void name(std::u16string_view name);  // a class or id some selector names
  bool named(std::uint64_t hash) const;

  MediaContext media_;
  std::vector<Sheet> sheets_;
  std::size_t totalUnits_ = 0;
  std::size_t loads_ = 0;
  std::uint32_t nextOrder_ = 0;
  std::vector<Rule> rules_;
  std::vector<Declaration> declarations_;
  // Rules by the key of their last compound: an id, a class, a type, or none.
  std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> byId_, byClass_, byType_;
  std::vector<std::uint32_t> universal_;
  std::vector<std::u16string> testedAttributes_;
  // The classes and ids some selector names, as bits of their hashes: an
  // element's other ones are not kept.
  std::array<std::uint64_t, 64> names_{};
  std::uint32_t generation_ = 0;           // grows when a sheet names something new
  std::array<std::uint64_t, 64> types_{};  // the type names that key rules, as bits
};

// Parses a declaration list (a style attribute's value) into `out`, last
// declaration of a property winning unless an earlier one is !important.
void ParseDeclarations(std::u16string_view text, Declared& out,
                       std::array<bool, kProperties>& important);

// The value `location` names relative to `base` (a sheet's own location):
// base's folder followed by location, unless location is absolute (has a
// scheme, or starts with '/' or '\'), then it is returned as it is.
std::u16string ResolveLocation(std::u16string_view base, std::u16string_view location);

}  // namespace sievetext::layout::css
