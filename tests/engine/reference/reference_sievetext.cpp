#include "tests/engine/reference/reference_sievetext.h"

#include <new>
#include <stdexcept>

#include "engine/entities/rows.h"
#include "engine/failure_guard.h"

namespace sievetext {
namespace literal {
namespace {

char16_t FoldAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }

std::u16string FoldAscii(std::u16string s) {
  for (auto& c : s) c = FoldAscii(c);
  return s;
}

}  // namespace

// Case is ignored by searching a folded copy: folding maps every unit to one
// unit, so positions in the copy are positions in the text.
std::size_t InStr(std::size_t start, const std::u16string& text, const std::u16string& key,
                  bool ignoreCase) {
  if (start < 1 || start > text.size()) return 0;
  std::size_t found =
      ignoreCase ? FoldAscii(text).find(FoldAscii(key), start - 1) : text.find(key, start - 1);
  return found == std::u16string::npos ? 0 : found + 1;
}

std::u16string Replace(const std::u16string& text, std::u16string_view key,
                       std::u16string_view replacement, bool ignoreCase) {
  std::u16string folded;
  std::u16string foldedKey;
  if (ignoreCase) {
    folded = FoldAscii(text);
    foldedKey = FoldAscii(std::u16string(key));
    key = foldedKey;
  }
  const std::u16string& haystack = ignoreCase ? folded : text;
  std::u16string out;
  std::size_t from = 0;
  for (;;) {
    std::size_t found = haystack.find(key, from);
    if (found == std::u16string::npos) break;
    out.append(text, from, found - from);
    out += replacement;
    from = found + key.size();
  }
  out.append(text, from, std::u16string::npos);
  return out;
}

std::u16string Left(const std::u16string& text, std::size_t n) {
  return text.substr(0, n < text.size() ? n : text.size());
}

std::u16string Right(const std::u16string& text, std::size_t n) {
  if (n >= text.size()) return text;
  return text.substr(text.size() - n);
}

}  // namespace literal

namespace {

using literal::InStr;
using literal::Left;
using literal::Replace;
using literal::Right;

const std::u16string kSpace = u" ";
const std::u16string kLf = u"\n";

// Comment stage. The resume position is the closing marker's position of the
// previous iteration, kept even after a cut has moved the text left.
void CutComments(std::u16string& t) {
  const std::u16string open = u"<!--";
  const std::u16string close = u"-->";
  std::size_t resume = 1;
  for (;;) {
    std::size_t h = InStr(resume, t, open, true);
    if (h == 0) return;
    std::size_t e = InStr(h, t, close, true);
    if (e == 0) return;
    if (e > h + 5) t = Left(t, h - 1) + Right(t, t.size() - e - (close.size() - 1));
    resume = e;
  }
}

// Script, style and brace stages: after a cut the opener is searched from
// position 1 again; a pair too short to cut is stepped over by one position.
void CutPairs(std::u16string& t, const std::u16string& open, const std::u16string& close,
              std::size_t minDistance) {
  std::size_t start = 1;
  for (;;) {
    std::size_t h = InStr(start, t, open, true);
    if (h == 0) return;
    std::size_t e = InStr(h, t, close, true);
    if (e == 0) return;
    if (e >= h + minDistance) {
      t = Left(t, h - 1) + Right(t, t.size() - e - (close.size() - 1));
      start = 1;
    } else {
      start = h + 1;
    }
  }
}

}  // namespace

void ReferenceSievetext::doYield() {
  if (yield) yield();
}

void ReferenceSievetext::report(const char* procedure) {
  // How a failure is named and numbered is shared with the engine; what the
  // reference checks is where it is caught and what is returned.
  ReportCurrentFailure(reporter, procedure);
}

void ReferenceSievetext::applyEntityTable(std::u16string& sText) {
  auto rows = EntityRows();
  for (std::size_t row = 0; row < rows.size(); ++row) {
    if (YieldsBeforeRow(row)) doYield();
    sText = Replace(sText, rows[row].key, rows[row].replacement, !rows[row].exact);
  }
}

std::u16string ReferenceSievetext::ExtractText(std::u16string& sIn) {
  std::u16string T;
  try {
    if (sIn.empty()) return {};
    T = CutHTML(sIn);
    T = Replace(T, u"\r", kSpace, false);
    if (RemoveAllCRLF) T = Replace(T, kLf, kSpace, false);
    if (RemoveSpaces) T = ConsolidateChar(T, kSpace);
    doYield();
    if (RemoveBlankLines) {
      while (InStr(1, T, u"\n \n", false) != 0) T = Replace(T, u"\n \n", kLf, false);
      T = ConsolidateChar(T, kLf);
    }
    if (RemoveSpaces) T = ConsolidateChar(T, kSpace);
    doYield();
    T = Replace(T, kLf, u"\r\n", false);
    std::size_t first = T.find_first_not_of(u' ');
    if (first == std::u16string::npos) {
      T.clear();
    } else {
      T = Left(T, T.find_last_not_of(u' ') + 1);
      T = Right(T, T.size() - first);
    }
    if (Left(T, 2) == u"\r\n") T = Right(T, T.size() - 2);
    if (Right(T, 2) == u"\r\n") T = Left(T, T.size() - 2);
    return T;
  } catch (...) {
    report("ExtractText");
    return T;
  }
}

std::u16string ReferenceSievetext::CutHTML(std::u16string& sText) {
  try {
    if (sText.empty()) return {};
    if (RemoveComments) CutComments(sText);
    doYield();
    if (RemoveScripts) CutPairs(sText, u"<script", u"/script>", 9);
    doYield();
    if (RemoveStyles) CutPairs(sText, u"<style", u"/style>", 7);
    doYield();
    if (RemoveFunctions) CutPairs(sText, u"{", u"}", 1);
    if (RemovePipe) sText = Replace(sText, u"|", kSpace, false);
    if (RemoveTabs) sText = Replace(sText, u"\t", kSpace, false);
    doYield();
    if (GenerateSpecialChars) applyEntityTable(sText);
    doYield();
    if (RemoveAllTags) sText = CutAllTags(sText);
    if (RemoveComments) {
      sText = Replace(sText, u"!--", kSpace, false);
      sText = Replace(sText, u"-->", kSpace, false);
    }
    sText = Replace(sText, u"msnavigation", kSpace, true);
    return sText;
  } catch (...) {
    report("CutHTML");
    return {};
  }
}

std::u16string ReferenceSievetext::ConsolidateChar(std::u16string& sText,
                                                   const std::u16string& sChar) {
  try {
    if (sChar.size() != 1) return {};
    if (sText.empty()) return {};
    const std::u16string doubled = sChar + sChar;
    while (InStr(1, sText, doubled, false) != 0) {
      for (int pass = 0; pass < 10; ++pass) sText = Replace(sText, doubled, sChar, false);
      doYield();
    }
    return sText;
  } catch (...) {
    report("ConsolidateChar");
    return {};
  }
}

std::u16string ReferenceSievetext::CutAllTags(const std::u16string& sText) const {
  if (sText.empty()) return {};
  std::u16string buffer(sText.size(), u'\0');
  std::size_t length = 0;
  bool inTag = false;
  for (char16_t unit : sText) {
    if (inTag) {
      if (unit == u'>') inTag = false;
    } else if (unit == u'<') {
      inTag = true;
    } else {
      buffer[length++] = unit;
    }
  }
  if (length == 0) return {};
  return Left(buffer, length);
}

}  // namespace sievetext
