#include "engine/layout/css_syntax.h"

#include <cmath>

namespace sievetext::layout::css {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool IsDigit(char16_t c) { return c >= '0' && c <= '9'; }
bool IsHex(char16_t c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool IsNameStart(char16_t c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c >= 0x80;
}
bool IsName(char16_t c) { return IsNameStart(c) || IsDigit(c) || c == '-'; }
bool IsSpace(char16_t c) { return c == ' ' || c == '\t' || c == '\n'; }
bool IsNonPrintable(char16_t c) {
  return c <= 0x08 || c == 0x0B || (c >= 0x0E && c <= 0x1F) || c == 0x7F;
}

class Scanner {
 public:
  explicit Scanner(std::u16string_view text) {
    // Input preprocessing.
    input_.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
      char16_t c = text[i];
      if (c == '\r') {
        if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        c = '\n';
      } else if (c == '\f') {
        c = '\n';
      } else if (c == 0) {
        c = kReplacement;
      }
      input_.push_back(c);
    }
  }

  std::vector<Token> run() {
    std::vector<Token> tokens;
    while (at_ < input_.size()) tokens.push_back(next());
    return tokens;
  }

 private:
  // The unit `ahead` places on, or 0 past the end (the input holds no 0).
  char16_t peek(std::size_t ahead = 0) const {
    return at_ + ahead < input_.size() ? input_[at_ + ahead] : char16_t{0};
  }

  static bool ValidEscape(char16_t first, char16_t second) {
    return first == '\\' && second != '\n' && second != 0;
  }
  bool startsIdentifier(std::size_t ahead) const {
    const char16_t a = peek(ahead), b = peek(ahead + 1), c = peek(ahead + 2);
    if (a == '-') return IsNameStart(b) || b == '-' || ValidEscape(b, c);
    if (IsNameStart(a)) return true;
    return ValidEscape(a, b);
  }
  bool startsNumber() const {
    const char16_t a = peek(), b = peek(1), c = peek(2);
    if (a == '+' || a == '-') return IsDigit(b) || (b == '.' && IsDigit(c));
    if (a == '.') return IsDigit(b);
    return IsDigit(a);
  }

  // After the backslash; the escape is known to be valid (or at the end).
  void escape(std::u16string& out) {
    if (at_ >= input_.size()) {
      out.push_back(kReplacement);
      return;
    }
    const char16_t c = input_[at_++];
    if (!IsHex(c)) {
      out.push_back(c);
      return;
    }
    std::uint32_t code = 0;
    std::size_t digits = 0;
    for (char16_t d = c;; d = input_[at_++]) {
      code = code * 16 + static_cast<std::uint32_t>(IsDigit(d) ? d - '0' : (d | 0x20) - 'a' + 10);
      if (++digits == 6 || at_ >= input_.size() || !IsHex(input_[at_])) break;
    }
    if (at_ < input_.size() && IsSpace(input_[at_])) ++at_;
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      out.push_back(kReplacement);
    } else if (code >= 0x10000) {
      code -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(code));
    }
  }

  std::u16string name() {
    std::u16string out;
    while (at_ < input_.size()) {
      const char16_t c = input_[at_];
      if (IsName(c)) {
        out.push_back(c);
        ++at_;
      } else if (ValidEscape(c, peek(1))) {
        ++at_;
        escape(out);
      } else {
        break;
      }
    }
    return out;
  }

  double numberValue() {
    const std::size_t start = at_;
    if (peek() == '+' || peek() == '-') ++at_;
    while (IsDigit(peek())) ++at_;
    if (peek() == '.' && IsDigit(peek(1))) {
      at_ += 2;
      while (IsDigit(peek())) ++at_;
    }
    if ((peek() == 'e' || peek() == 'E') &&
        (IsDigit(peek(1)) || ((peek(1) == '+' || peek(1) == '-') && IsDigit(peek(2))))) {
      at_ += 2;
      while (IsDigit(peek())) ++at_;
    }
    // The units are ASCII: parse them as a C number, bounded in length.
    std::string digits;
    for (std::size_t i = start; i < at_ && digits.size() < 64; ++i) {
      digits.push_back(static_cast<char>(input_[i]));
    }
    double value = 0;
    double sign = 1;
    std::size_t i = 0;
    if (i < digits.size() && (digits[i] == '+' || digits[i] == '-')) {
      sign = digits[i] == '-' ? -1 : 1;
      ++i;
    }
    for (; i < digits.size() && digits[i] >= '0' && digits[i] <= '9'; ++i) {
      value = value * 10 + (digits[i] - '0');
    }
    if (i < digits.size() && digits[i] == '.') {
      double scale = 0.1;
      for (++i; i < digits.size() && digits[i] >= '0' && digits[i] <= '9'; ++i) {
        value += (digits[i] - '0') * scale;
        scale /= 10;
      }
    }
    if (i < digits.size() && (digits[i] == 'e' || digits[i] == 'E')) {
      ++i;
      int exponentSign = 1;
      if (i < digits.size() && (digits[i] == '+' || digits[i] == '-')) {
        exponentSign = digits[i] == '-' ? -1 : 1;
        ++i;
      }
      int exponent = 0;
      for (; i < digits.size() && digits[i] >= '0' && digits[i] <= '9'; ++i) {
        if (exponent < 1000) exponent = exponent * 10 + (digits[i] - '0');
      }
      value *= std::pow(10.0, exponentSign * exponent);
    }
    return sign * value;
  }

  Token numeric() {
    Token token{TokenType::Number};
    token.number = numberValue();
    if (startsIdentifier(0)) {
      token.type = TokenType::Dimension;
      token.value = name();
    } else if (peek() == '%') {
      ++at_;
      token.type = TokenType::Percentage;
    }
    return token;
  }

  Token string(char16_t quote) {
    Token token{TokenType::String};
    while (at_ < input_.size()) {
      const char16_t c = input_[at_++];
      if (c == quote) return token;
      if (c == '\n') {
        --at_;  // the line break is not part of the bad string
        token.type = TokenType::BadString;
        return token;
      }
      if (c == '\\') {
        if (at_ >= input_.size()) continue;
        if (input_[at_] == '\n') {
          ++at_;
          continue;
        }
        escape(token.value);
        continue;
      }
      token.value.push_back(c);
    }
    return token;
  }

  // After "url(" and any white space.
  Token url() {
    Token token{TokenType::Url};
    while (at_ < input_.size()) {
      const char16_t c = input_[at_++];
      if (c == ')') return token;
      if (IsSpace(c)) {
        while (IsSpace(peek())) ++at_;
        if (peek() == ')' || at_ >= input_.size()) {
          if (at_ < input_.size()) ++at_;
          return token;
        }
        return badUrl();
      }
      if (c == '"' || c == '\'' || c == '(' || IsNonPrintable(c)) return badUrl();
      if (c == '\\') {
        if (ValidEscape(c, peek())) {
          escape(token.value);
          continue;
        }
        return badUrl();
      }
      token.value.push_back(c);
    }
    return token;
  }

  Token badUrl() {
    while (at_ < input_.size()) {
      const char16_t c = input_[at_++];
      if (c == ')') break;
      if (ValidEscape(c, peek())) ++at_;  // an escaped ')' does not end it
    }
    return Token{TokenType::BadUrl};
  }

  Token identLike() {
    std::u16string text = name();
    if (EqualsLower(text, u"url") && peek() == '(') {
      ++at_;
      std::size_t ahead = 0;
      while (IsSpace(peek(ahead)) && IsSpace(peek(ahead + 1))) ++ahead;
      const char16_t next = IsSpace(peek(ahead)) ? peek(ahead + 1) : peek(ahead);
      if (next == '"' || next == '\'') {
        at_ += ahead;
        Token token{TokenType::Function};
        token.value = std::move(text);
        return token;
      }
      while (IsSpace(peek())) ++at_;
      return url();
    }
    Token token{TokenType::Ident};
    if (peek() == '(') {
      ++at_;
      token.type = TokenType::Function;
    }
    token.value = std::move(text);
    return token;
  }

  Token delim(char16_t c) {
    Token token{TokenType::Delim};
    token.delim = c;
    return token;
  }

  Token next() {
    // Comments give no token; one that runs to the end stands as white space.
    while (peek() == '/' && peek(1) == '*') {
      const std::size_t end = input_.find(u"*/", at_ + 2);
      at_ = end == std::u16string::npos ? input_.size() : end + 2;
    }
    if (at_ >= input_.size()) return Token{TokenType::Whitespace};
    const char16_t c = input_[at_];
    if (IsSpace(c)) {
      while (IsSpace(peek())) ++at_;
      return Token{TokenType::Whitespace};
    }
    switch (c) {
      case '"':
      case '\'':
        ++at_;
        return string(c);
      case '#':
        if (IsName(peek(1)) || ValidEscape(peek(1), peek(2))) {
          ++at_;
          Token token{TokenType::Hash};
          token.idHash = startsIdentifier(0);
          token.value = name();
          return token;
        }
        ++at_;
        return delim(c);
      case '(':
        ++at_;
        return Token{TokenType::OpenParen};
      case ')':
        ++at_;
        return Token{TokenType::CloseParen};
      case '[':
        ++at_;
        return Token{TokenType::OpenSquare};
      case ']':
        ++at_;
        return Token{TokenType::CloseSquare};
      case '{':
        ++at_;
        return Token{TokenType::OpenCurly};
      case '}':
        ++at_;
        return Token{TokenType::CloseCurly};
      case ',':
        ++at_;
        return Token{TokenType::Comma};
      case ':':
        ++at_;
        return Token{TokenType::Colon};
      case ';':
        ++at_;
        return Token{TokenType::Semicolon};
      case '+':
      case '.':
        if (startsNumber()) return numeric();
        ++at_;
        return delim(c);
      case '-':
        if (startsNumber()) return numeric();
        if (peek(1) == '-' && peek(2) == '>') {
          at_ += 3;
          return Token{TokenType::Cdc};
        }
        if (startsIdentifier(0)) return identLike();
        ++at_;
        return delim(c);
      case '<':
        if (peek(1) == '!' && peek(2) == '-' && peek(3) == '-') {
          at_ += 4;
          return Token{TokenType::Cdo};
        }
        ++at_;
        return delim(c);
      case '@':
        if (startsIdentifier(1)) {
          ++at_;
          Token token{TokenType::AtKeyword};
          token.value = name();
          return token;
        }
        ++at_;
        return delim(c);
      case '\\':
        if (ValidEscape(c, peek(1))) return identLike();
        ++at_;
        return delim(c);
      default:
        break;
    }
    if (IsDigit(c)) return numeric();
    if (IsNameStart(c)) return identLike();
    ++at_;
    return delim(c);
  }

  std::u16string input_;
  std::size_t at_ = 0;
};

}  // namespace

std::vector<Token> Tokenize(std::u16string_view text) { return Scanner(text).run(); }

bool EqualsLower(std::u16string_view text, std::u16string_view lower) {
  if (text.size() != lower.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char16_t>(c + 0x20);
    if (c != lower[i]) return false;
  }
  return true;
}

bool IsIdent(const Token& token, std::u16string_view word) {
  return token.type == TokenType::Ident && EqualsLower(token.value, word);
}

}  // namespace sievetext::layout::css
