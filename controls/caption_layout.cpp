#include "controls/caption_layout.h"

#include <QPainter>
#include <algorithm>

namespace sievetext {

ShownCaption ResolveAccessMarks(const QString& caption) {
  ShownCaption shown;
  for (qsizetype i = 0; i < caption.size(); ++i) {
    if (caption[i] != u'&') {
      shown.text += caption[i];
      continue;
    }
    if (i + 1 >= caption.size()) break;  // a trailing "&" shows nothing
    if (caption[i + 1] == u'&') {
      shown.text += u'&';
    } else {
      shown.underlined.push_back(static_cast<int>(shown.text.size()));
      shown.text += caption[i + 1];
    }
    ++i;
  }
  return shown;
}

std::optional<QString> AccessKeyOf(const QString& caption) {
  const qsizetype amp = caption.indexOf(u'&');
  if (amp < 0) return std::nullopt;
  return caption.mid(amp + 1, 1);
}

namespace {

bool IsBreak(QChar c) { return c == u'\n' || c == u'\r'; }

// Width of text[start, end) without the spaces at its end.
int TrimmedWidth(const QString& text, int start, int end, const QFontMetrics& metrics) {
  while (end > start && text[end - 1] == u' ') --end;
  return metrics.horizontalAdvance(text.mid(start, end - start));
}

void WrapParagraph(const QString& text, int start, int end, const QFontMetrics& metrics, int width,
                   std::vector<CaptionLine>& lines) {
  int lineStart = start;
  int lineEnd = start;  // end of the last word that fits
  int pos = start;
  while (pos < end) {
    int wordEnd = pos;
    while (wordEnd < end && text[wordEnd] == u' ') ++wordEnd;
    while (wordEnd < end && text[wordEnd] != u' ') ++wordEnd;
    if (lineEnd > lineStart && TrimmedWidth(text, lineStart, wordEnd, metrics) > width) {
      lines.push_back({lineStart, lineEnd - lineStart});
      lineStart = pos;
      while (lineStart < end && text[lineStart] == u' ') ++lineStart;
    }
    lineEnd = wordEnd;
    pos = wordEnd;
  }
  while (lineEnd > lineStart && text[lineEnd - 1] == u' ') --lineEnd;
  lines.push_back({lineStart, lineEnd - lineStart});
}

}  // namespace

std::vector<CaptionLine> WrapCaption(const QString& text, const QFontMetrics& metrics, int width) {
  std::vector<CaptionLine> lines;
  if (text.isEmpty()) return lines;
  const int size = static_cast<int>(text.size());
  int start = 0;
  while (true) {
    int end = start;
    while (end < size && !IsBreak(text[end])) ++end;
    WrapParagraph(text, start, end, metrics, width, lines);
    if (end >= size) break;
    // CR LF, LF and a lone CR each end one line.
    start = end + ((text[end] == u'\r' && end + 1 < size && text[end + 1] == u'\n') ? 2 : 1);
    if (start >= size) break;
  }
  return lines;
}

int CaptionTop(int height, int blockHeight) {
  const int twice = height - blockHeight;
  int top = twice / 2;  // rounds towards zero
  if (twice % 2 != 0) {
    // Exactly half-way between top and its neighbour away from zero: take the even one.
    const int other = twice > 0 ? top + 1 : top - 1;
    if (top % 2 != 0) top = other;
  }
  return top;
}

QFont CaptionFont(const QFont& font) {
  QFont sharp(font);
  sharp.setStyleStrategy(QFont::NoAntialias);
  // Without full hinting, unsmoothed small text gets uneven gaps between letters.
  sharp.setHintingPreference(QFont::PreferFullHinting);
  sharp.setKerning(false);
  return sharp;
}

void DrawCaption(QImage& image, const QString& caption, const QFont& font, QColor colour) {
  const QFont sharp = CaptionFont(font);
  const QFontMetrics metrics(sharp, &image);
  const int left = 4;
  const int right = image.width() - 4;
  const int height = image.height();
  const ShownCaption shown = ResolveAccessMarks(caption);
  const std::vector<CaptionLine> lines = WrapCaption(shown.text, metrics, right - left);

  const int blockHeight = static_cast<int>(lines.size()) * metrics.height();
  const int top = CaptionTop(height, blockHeight);
  if (right <= left || lines.empty()) return;

  QPainter painter(&image);
  painter.setRenderHint(QPainter::TextAntialiasing, false);
  painter.setClipRect(QRect(left, top, right - left, height - top));
  painter.setFont(sharp);
  painter.setPen(colour);
  int y = top;
  for (const CaptionLine& line : lines) {
    const QString text = shown.text.mid(line.start, line.length);
    const int x = left + (right - left - metrics.horizontalAdvance(text)) / 2;
    const int baseline = y + metrics.ascent();
    painter.drawText(QPoint(x, baseline), text);
    for (int u : shown.underlined) {
      if (u < line.start || u >= line.start + line.length) continue;
      const int ux = x + metrics.horizontalAdvance(text.left(u - line.start));
      const int uw = metrics.horizontalAdvance(text.mid(u - line.start, 1));
      painter.fillRect(
          QRect(ux, baseline + metrics.underlinePos(), uw, std::max(1, metrics.lineWidth())),
          colour);
    }
    y += metrics.height();
  }
}

}  // namespace sievetext
