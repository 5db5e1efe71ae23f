#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sievetext::layout::css {

// The tokens of the CSS syntax standard. Comments are dropped; a run of
// white space is one Whitespace token.
enum class TokenType : std::uint8_t {
  Ident,
  Function,   // value: the name, without '('
  AtKeyword,  // value: the name, without '@'
  Hash,       // value: the name, without '#'; `idHash`: it would be a valid identifier
  String,
  BadString,
  Url,  // value: the address
  BadUrl,
  Delim,  // `delim`
  Number,
  Percentage,
  Dimension,  // number and value (the unit)
  Whitespace,
  Cdo,
  Cdc,
  Colon,
  Semicolon,
  Comma,
  OpenSquare,
  CloseSquare,
  OpenParen,
  CloseParen,
  OpenCurly,
  CloseCurly,
};

struct Token {
  explicit Token(TokenType t) : type(t) {}
  TokenType type;
  bool idHash = false;
  char16_t delim = 0;
  double number = 0;
  std::u16string value;
};

// Tokenizes a whole style sheet as the standard says, after its input
// preprocessing (CR LF, CR and form feed become LF; U+0000 becomes U+FFFD).
// Every input gives tokens: nothing in it can make the tokenizer fail or
// loop, and the tokens never hold more units than the input.
std::vector<Token> Tokenize(std::u16string_view text);

// Whether `token` is an identifier equal to `word`, ASCII case-insensitively.
bool IsIdent(const Token& token, std::u16string_view word);
// ASCII case-insensitive comparison (`lower` in lower case).
bool EqualsLower(std::u16string_view text, std::u16string_view lower);

}  // namespace sievetext::layout::css
