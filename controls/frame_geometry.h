#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <array>
#include <vector>

namespace sievetext {

// Geometry of a button face: where the eight frame pieces of a face picture
// go, and where the four focus lines run.
//
// The layout is defined in twips (15 to a pixel) from the button's size, and
// the pieces come from fixed twip rectangles of a 64 x 25 pixel face picture;
// both are turned into pixels by rounding down.

inline constexpr int kTwipsPerPixel = 15;
// Twips to pixels, rounding down (towards minus infinity for negative values).
int TwipsToPixels(int twips);
// A rectangle given in twips (left, top, width, height), in pixels.
QRect TwipRect(int x, int y, int width, int height);
// Size of every face picture, in pixels.
inline constexpr int kFacePictureWidth = 64;
inline constexpr int kFacePictureHeight = 25;
// A new button's extent, in pixels (1575 x 420 twips).
inline constexpr int kDefaultButtonWidth = 105;
inline constexpr int kDefaultButtonHeight = 28;

// One frame piece: a rectangle of the face picture and where it lands on the
// face. When the sizes differ the piece is stretched; a target with no area
// (buttons under 8 pixels) is skipped by the painter.
struct FramePiece {
  QRect source;
  QRect target;
};

// The four sizes of the frame that depend on the button's extent, in twips.
// They are worked out in signed 16-bit numbers: a side longer than 32,767
// twips cannot be held, and the sizes taken from it keep the values of the
// previous paint (zero before the first).
struct FrameSizes {
  int widthLess120 = 0;   // length of the stretched top and bottom edges
  int widthLess60 = 0;    // left of the right-hand pieces
  int heightLess120 = 0;  // length of the stretched side edges
  int heightLess60 = 0;   // top of the bottom pieces
};

// The sizes for a button of the given pixel extent, given those of the
// previous paint.
FrameSizes NextFrameSizes(const FrameSizes& previous, int widthPx, int heightPx);

// Pieces in painting order: top-left corner, top edge, top-right corner,
// right edge, bottom-right corner, bottom edge, bottom-left corner, left edge.
// The 4-pixel corners are copied unscaled; the edges are stretched to the
// button's length minus the two corners. The centre gets no piece.
std::array<FramePiece, 8> FramePieces(const FrameSizes& sizes);

// Paints the eight pieces of `picture` (a face picture) onto `face`, edges
// stretched by nearest neighbour so that every painted pixel is one of the
// picture's own colours.
void PaintFrame(QImage& face, const QImage& picture, const FrameSizes& sizes);

// A focus line between two pixels, both included in its extent; the painter
// decides which of its pixels are dotted.
struct FocusLine {
  QPoint from;
  QPoint to;
};

// The four sides of the focus rectangle, on the fifth pixel in from each edge:
// left, top, right, bottom.
std::array<FocusLine, 4> FocusLines(int widthPx, int heightPx);

// The pixels of a dotted line: every second pixel from `from`, the end point
// excluded. Lines meeting at a corner may share a pixel; the painter inverts
// the union of all shown lines once, so a shared pixel is not restored.
std::vector<QPoint> DottedPixels(const FocusLine& line);

}  // namespace sievetext
