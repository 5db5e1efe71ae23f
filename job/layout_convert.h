#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/cSievetext.h"
#include "engine/layout/text_layout.h"
#include "job/convert.h"
#include "platform/file_system.h"
#include "text/text_codec.h"

namespace sievetext {

// The reading mode (--layout): the page's visible text laid out as a browser
// lays it out (see engine/layout/text_layout.h), instead of the engine's
// cuts. The input is decoded as for the default mode.

// The layout options that the engine's eleven options stand for in this
// mode. RemoveAllCRLF, RemoveBlankLines, RemoveSpaces, RemoveTabs, RemovePipe
// and GenerateSpecialChars keep their meaning on top of the layout;
// RemoveComments, RemoveScripts, RemoveStyles, RemoveFunctions and
// RemoveAllTags have none here (comments, scripts, styles and tags never
// reach the text, and braces are text like any other). Line breaks are CR LF.
layout::LayoutOptions LayoutOptionsFor(const cSievetext& engine);

// Linked style sheets (<link rel="stylesheet">, @import) of a page read from
// a file on disk. The page says where a sheet is; it is read only when all
// of these hold, and skipped otherwise (the page is laid out without it):
//  - the address is a relative path: no scheme ("http:", "file:", ...), not
//    starting with '/', no '\\' in it, and no NUL once its %XX escapes are
//    decoded; "?..." and "#..." are cut off. Nothing is ever fetched from a
//    network;
//  - it names, from the page's own folder (".." may climb out of it, as a
//    browser's relative link does; symbolic links are followed as for the
//    input), a regular file of 1 to kMaxSheetBytes bytes: a folder, a
//    device, a FIFO or a socket is refused before anything is read from it
//    (and opened without blocking should it change meanwhile), and so is
//    an empty file (which is also how the system's generated files, such
//    as those under /proc, show);
//  - fewer than kMaxSheetLoads sheets were asked for in this conversion.
// Bytes are read as UTF-8 (a byte-order mark decides UTF-16), Windows-1252
// where they are not UTF-8. A page from standard input, or given as bytes,
// gets no linked sheets; its style elements and attributes still apply.
inline constexpr std::uint64_t kMaxSheetBytes = std::uint64_t{1} << 20;
inline constexpr std::size_t kMaxSheetLoads = 64;

// The path of the sheet at `location` for the page at `page`, or empty when
// the address is refused (see above).
std::string SheetPath(const std::string& page, std::u16string_view location);

// Reads the sheet at `path` into `text` as described above; false: skipped.
bool ReadStyleSheet(FileSystem& files, const std::string& path, std::u16string& text);

// ConvertBytes in the reading mode.
std::string ConvertBytesLaidOut(
    const cSievetext& engine, std::string_view bytes,
    TextDecoder::Declarations declarations = TextDecoder::Declarations::Follow);

// ConvertFile in the reading mode, in one streaming pass (with the linked
// style sheets of `input` when it is a regular file, read as they come): the input is read,
// decoded, laid out and written piece by piece, so that memory does not grow
// with the input (the pieces in flight, and what an unclosed construct may
// hold: see the tokenizer). A second thread reads and lays out while the
// calling one writes and calls the engine's yield; `files` must allow a read
// and a replace at once. `expectedBytes` is not needed and only kept for the
// same shape. A read failure leaves the old output as it was.
ConvertResult ConvertFileLaidOut(cSievetext& engine, FileSystem& files, const std::string& input,
                                 std::uint64_t expectedBytes, const std::string& output);

}  // namespace sievetext
