#pragma once

#include <string>
#include <string_view>

namespace sievetext {

// Turns a file's bytes into text:
//  - a leading EF BB BF is dropped and the rest read as below;
//  - a leading FF FE or FE FF makes the whole file UTF-16 little- or
//    big-endian (the mark is dropped; an odd last byte becomes U+FFFD);
//  - otherwise every well-formed UTF-8 sequence is read as UTF-8 and every
//    other byte as its Windows-1252 character, the five bytes that code page
//    leaves unassigned (81 8D 8F 90 9D) standing for U+0081 ... U+009D.
// So UTF-8 pages come out exact and legacy Western pages readable. Never fails
// except by running out of memory (std::bad_alloc).
std::u16string DecodeText(std::string_view bytes);

// Text to UTF-8 without a byte-order mark. A surrogate that is not part of a
// pair becomes U+FFFD, so the result is always well-formed UTF-8.
std::string EncodeText(std::u16string_view text);

}  // namespace sievetext
