#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QString>
#include <optional>
#include <vector>

namespace sievetext {

// A caption with its access marks resolved: "&x" shows x underlined, "&&"
// shows one "&", and a lone "&" at the end shows nothing.
struct ShownCaption {
  QString text;
  std::vector<int> underlined;  // positions in `text`, ascending
};
ShownCaption ResolveAccessMarks(const QString& caption);

// The access key a caption asks for: the character right after its first
// "&" (an empty text when that "&" ends the caption). Nothing when the caption
// has no "&" at all, which leaves the current access key alone. Note that
// "A&&B" gives "&": the first "&" is what counts, doubled or not.
std::optional<QString> AccessKeyOf(const QString& caption);

// One line of a wrapped caption: a range of ShownCaption::text.
struct CaptionLine {
  int start = 0;
  int length = 0;
};

// Breaks `text` into lines no wider than `width` pixels, between words only
// (spaces), and at line breaks in the text. A word wider than `width` keeps
// its own line and is clipped when drawn. Spaces at a break are dropped.
// An empty text has no lines.
std::vector<CaptionLine> WrapCaption(const QString& text, const QFontMetrics& metrics, int width);

// Top of a caption block `blockHeight` pixels high centred in `height`
// pixels: (height - blockHeight) / 2, a half rounding to the even neighbour.
// Negative when the block is taller than the button.
int CaptionTop(int height, int blockHeight);

// The font a caption is drawn in: `font` without smoothing, so that letters
// keep their exact colour; with full hinting, so that the gaps between
// letters stay even; and without kerning, which at these sizes pulls a
// letter into its neighbour's pixels (the dot of the "i" in "File" vanished
// under the "F").
QFont CaptionFont(const QFont& font);

// Draws `caption` into `image` the way a button face shows it: word-wrapped
// inside the columns 4 to width - 4, each line centred across them, the block
// centred vertically (a half pixel rounds to even), clipped to
// [4, width - 4) x [top, height), letters only (no background), in `font`
// and `colour`. Letters are drawn without smoothing so that they keep the
// exact colour.
void DrawCaption(QImage& image, const QString& caption, const QFont& font, QColor colour);

}  // namespace sievetext
