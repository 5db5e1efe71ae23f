// The tokenizer against test files in the html5lib-tests tokenizer format:
// the vendored conformance files (html5lib/) and this project's own cases
// (cases/), each input fed whole, cut in two at every place, and one unit at
// a time.

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/layout/html_tokenizer.h"

namespace sievetext::layout {
namespace {

struct JsonMember;

// A JSON value, just enough for the test files. Strings are UTF-16, as the
// files' \u escapes are. An object's members are a struct of their own, not
// a std::pair: a pair of an incomplete Json is undefined, and clang with
// libstdc++ rejects it.
struct Json {
  enum class Type { Null, Bool, Number, String, Array, Object } type = Type::Null;
  bool boolean = false;
  std::u16string string;
  std::vector<Json> items;
  std::vector<JsonMember> members;

  const Json* get(std::u16string_view key) const;
};

struct JsonMember {
  std::u16string name;
  Json value;
};

const Json* Json::get(std::u16string_view key) const {
  for (const auto& [name, value] : members) {
    if (name == key) return &value;
  }
  return nullptr;
}

class JsonReader {
 public:
  explicit JsonReader(const std::string& text) : s_(text) {}

  Json value() {
    space();
    Json v;
    const char c = peek();
    if (c == '{') {
      v.type = Json::Type::Object;
      ++at_;
      space();
      if (peek() == '}') {
        ++at_;
        return v;
      }
      for (;;) {
        space();
        std::u16string key = string();
        space();
        expect(':');
        v.members.push_back({std::move(key), value()});
        space();
        if (peek() == ',') {
          ++at_;
          continue;
        }
        expect('}');
        return v;
      }
    }
    if (c == '[') {
      v.type = Json::Type::Array;
      ++at_;
      space();
      if (peek() == ']') {
        ++at_;
        return v;
      }
      for (;;) {
        v.items.push_back(value());
        space();
        if (peek() == ',') {
          ++at_;
          continue;
        }
        expect(']');
        return v;
      }
    }
    if (c == '"') {
      v.type = Json::Type::String;
      v.string = string();
      return v;
    }
    if (s_.compare(at_, 4, "true") == 0 || s_.compare(at_, 5, "false") == 0) {
      v.type = Json::Type::Bool;
      v.boolean = s_[at_] == 't';
      at_ += v.boolean ? 4 : 5;
      return v;
    }
    if (s_.compare(at_, 4, "null") == 0) {
      at_ += 4;
      return v;
    }
    v.type = Json::Type::Number;
    while (at_ < s_.size() && (isdigit(static_cast<unsigned char>(s_[at_])) || s_[at_] == '-'))
      ++at_;
    return v;
  }

 private:
  char peek() const { return at_ < s_.size() ? s_[at_] : '\0'; }
  void space() {
    while (at_ < s_.size() && isspace(static_cast<unsigned char>(s_[at_]))) ++at_;
  }
  void expect(char c) {
    if (peek() != c)
      throw std::runtime_error(std::string("JSON: expected ") + c + " at " + std::to_string(at_));
    ++at_;
  }
  std::u16string string() {
    expect('"');
    std::u16string out;
    while (at_ < s_.size() && s_[at_] != '"') {
      unsigned char c = static_cast<unsigned char>(s_[at_++]);
      if (c == '\\') {
        const char e = s_[at_++];
        switch (e) {
          case 'n':
            out.push_back('\n');
            break;
          case 't':
            out.push_back('\t');
            break;
          case 'r':
            out.push_back('\r');
            break;
          case 'b':
            out.push_back('\b');
            break;
          case 'f':
            out.push_back('\f');
            break;
          case 'u':
            out.push_back(static_cast<char16_t>(std::stoul(s_.substr(at_, 4), nullptr, 16)));
            at_ += 4;
            break;
          default:
            out.push_back(static_cast<char16_t>(e));
            break;
        }
        continue;
      }
      // UTF-8 to UTF-16.
      std::uint32_t cp = c;
      int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
      if (more) cp = c & (0x3F >> more);
      while (more-- > 0) cp = (cp << 6) | (static_cast<unsigned char>(s_[at_++]) & 0x3F);
      if (cp >= 0x10000) {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
      } else {
        out.push_back(static_cast<char16_t>(cp));
      }
    }
    expect('"');
    return out;
  }

  const std::string& s_;
  std::size_t at_ = 0;
};

// "\\uXXXX" in a doubly escaped test, once more.
std::u16string Unescape(const std::u16string& s) {
  std::u16string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 5 < s.size() + 0 && s[i + 1] == 'u') {
      std::string hex(s.begin() + static_cast<std::ptrdiff_t>(i) + 2,
                      s.begin() + static_cast<std::ptrdiff_t>(i) + 6);
      out.push_back(static_cast<char16_t>(std::stoul(hex, nullptr, 16)));
      i += 5;
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

// Tokens written out as the test files write them, one line each.
std::string Show(const std::u16string& s) {
  std::string out = "\"";
  for (char16_t c : s) {
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      out.push_back(static_cast<char>(c));
    } else {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(c));
      out += buffer;
    }
  }
  return out + "\"";
}

class Recorder final : public TokenSink {
 public:
  void characters(std::u16string_view text) override {
    if (tokens.empty() || !text_) tokens.emplace_back("Character ");
    characters_.append(text);
    text_ = true;
  }
  void startTag(const Tag& tag) override {
    end();
    std::map<std::u16string, std::u16string> attributes;
    for (const Attribute& a : tag.attributes) attributes.emplace(a.name, a.value);
    std::string line = "StartTag " + Show(std::u16string(tag.name)) + " {";
    for (const auto& [name, value] : attributes) line += Show(name) + ":" + Show(value) + " ";
    line += "}";
    if (tag.selfClosing) line += " selfClosing";
    tokens.push_back(line);
  }
  void endTag(const Tag& tag) override {
    end();
    tokens.push_back("EndTag " + Show(std::u16string(tag.name)));
  }
  void comment(std::u16string_view data) override {
    end();
    tokens.push_back("Comment " + Show(std::u16string(data)));
  }
  void doctype(const Doctype& d) override {
    end();
    tokens.push_back("DOCTYPE " + (d.hasName ? Show(d.name) : "null") + " " +
                     (d.hasPublicId ? Show(d.publicId) : "null") + " " +
                     (d.hasSystemId ? Show(d.systemId) : "null") + " " +
                     (d.forceQuirks ? "false" : "true"));
  }
  void end() {
    if (text_) {
      tokens.back() += Show(characters_);
      characters_.clear();
      text_ = false;
    }
  }

  std::vector<std::string> tokens;

 private:
  std::u16string characters_;
  bool text_ = false;
};

std::string Expected(const Json& output, bool doubled) {
  std::string lines;
  const auto str = [doubled](const Json& v) {
    return v.type == Json::Type::Null ? std::string("null")
                                      : Show(doubled ? Unescape(v.string) : v.string);
  };
  std::u16string pending;
  bool text = false;
  for (const Json& token : output.items) {
    const std::u16string& type = token.items[0].string;
    if (type == u"Character") {
      pending += doubled ? Unescape(token.items[1].string) : token.items[1].string;
      text = true;
      continue;
    }
    if (text) {
      lines += "Character " + Show(pending) + "\n";
      pending.clear();
      text = false;
    }
    if (type == u"StartTag") {
      std::map<std::u16string, std::u16string> attributes;
      for (const auto& [name, value] : token.items[2].members) {
        attributes.emplace(doubled ? Unescape(name) : name,
                           doubled ? Unescape(value.string) : value.string);
      }
      std::string line = "StartTag " + str(token.items[1]) + " {";
      for (const auto& [name, value] : attributes) line += Show(name) + ":" + Show(value) + " ";
      line += "}";
      if (token.items.size() > 3 && token.items[3].boolean) line += " selfClosing";
      lines += line + "\n";
    } else if (type == u"EndTag") {
      lines += "EndTag " + str(token.items[1]) + "\n";
    } else if (type == u"Comment") {
      lines += "Comment " + str(token.items[1]) + "\n";
    } else if (type == u"DOCTYPE") {
      lines += "DOCTYPE " + str(token.items[1]) + " " + str(token.items[2]) + " " +
               str(token.items[3]) + " " + (token.items[4].boolean ? "true" : "false") + "\n";
    }
  }
  if (text) lines += "Character " + Show(pending) + "\n";
  return lines;
}

TextState StateNamed(const std::u16string& name) {
  if (name == u"PLAINTEXT state") return TextState::Plaintext;
  if (name == u"RCDATA state") return TextState::Rcdata;
  if (name == u"RAWTEXT state") return TextState::Rawtext;
  if (name == u"Script data state") return TextState::ScriptData;
  if (name == u"CDATA section state") return TextState::CdataSection;
  return TextState::Data;
}

// Feeds `input` cut at the places in `cuts` (ascending).
std::string Tokens(const std::u16string& input, TextState state, const std::u16string& lastStartTag,
                   const std::vector<std::size_t>& cuts) {
  Recorder recorder;
  Tokenizer tokenizer(recorder);
  tokenizer.switchTo(state);
  if (!lastStartTag.empty()) tokenizer.setLastStartTag(lastStartTag);
  std::size_t from = 0;
  for (const std::size_t cut : cuts) {
    tokenizer.feed(std::u16string_view(input).substr(from, cut - from));
    from = cut;
  }
  tokenizer.feed(std::u16string_view(input).substr(from));
  tokenizer.finish();
  recorder.end();
  std::string lines;
  for (const std::string& line : recorder.tokens) lines += line + "\n";
  return lines;
}

class TokenizerConformance : public ::testing::TestWithParam<std::string> {};

TEST_P(TokenizerConformance, EveryCaseGivesItsTokensHoweverTheInputIsCut) {
  const std::string path = std::string(SIEVETEXT_LAYOUT_TEST_DATA) + "/" + GetParam();
  std::ifstream file(path, std::ios::binary);
  ASSERT_TRUE(file) << path;
  std::stringstream content;
  content << file.rdbuf();
  const std::string text = content.str();
  const Json root = JsonReader(text).value();
  const Json* tests = root.get(u"tests");
  if (tests == nullptr) tests = root.get(u"xmlViolationTests");
  ASSERT_NE(tests, nullptr);
  int cases = 0;
  for (const Json& test : tests->items) {
    const Json* doubledField = test.get(u"doubleEscaped");
    const bool doubled = doubledField != nullptr && doubledField->boolean;
    const std::u16string input =
        doubled ? Unescape(test.get(u"input")->string) : test.get(u"input")->string;
    const std::string expected = Expected(*test.get(u"output"), doubled);
    std::vector<std::u16string> states = {u"Data state"};
    if (const Json* initial = test.get(u"initialStates")) {
      states.clear();
      for (const Json& s : initial->items) states.push_back(s.string);
    }
    std::u16string last;
    if (const Json* l = test.get(u"lastStartTag")) last = l->string;
    std::string description;
    for (char16_t c : test.get(u"description")->string) description.push_back(static_cast<char>(c));
    for (const std::u16string& state : states) {
      ++cases;
      const TextState start = StateNamed(state);
      ASSERT_EQ(Tokens(input, start, last, {}), expected) << description;
      // Cut in two at every place (short inputs), and one unit at a time.
      if (input.size() <= 80) {
        for (std::size_t cut = 1; cut < input.size(); ++cut) {
          ASSERT_EQ(Tokens(input, start, last, {cut}), expected)
              << description << ", cut at " << cut;
        }
      }
      std::vector<std::size_t> every;
      for (std::size_t cut = 1; cut < input.size(); ++cut) every.push_back(cut);
      ASSERT_EQ(Tokens(input, start, last, every), expected) << description << ", unit by unit";
    }
  }
  EXPECT_GT(cases, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Files, TokenizerConformance,
    ::testing::Values("html5lib/test1.test", "html5lib/test2.test", "html5lib/test3.test",
                      "html5lib/test4.test", "html5lib/entities.test",
                      "html5lib/namedEntities.test", "html5lib/numericEntities.test",
                      "html5lib/contentModelFlags.test", "html5lib/escapeFlag.test",
                      "html5lib/domjs.test", "html5lib/unicodeChars.test",
                      "html5lib/unicodeCharsProblematic.test", "cases/data.test", "cases/tags.test",
                      "cases/references.test", "cases/markup_declarations.test",
                      "cases/text_states.test"),
    [](const ::testing::TestParamInfo<std::string>& info) {
      std::string name;
      for (char c : info.param) name.push_back(isalnum(static_cast<unsigned char>(c)) ? c : '_');
      return name;
    });

}  // namespace
}  // namespace sievetext::layout
