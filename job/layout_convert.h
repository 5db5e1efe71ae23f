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

// ConvertBytes in the reading mode.
std::string ConvertBytesLaidOut(
    const cSievetext& engine, std::string_view bytes,
    TextDecoder::Declarations declarations = TextDecoder::Declarations::Follow);

// ConvertFile in the reading mode, in one streaming pass: the input is read,
// decoded, laid out and written piece by piece, so that memory does not grow
// with the input (the pieces in flight, and what an unclosed construct may
// hold: see the tokenizer). A second thread reads and lays out while the
// calling one writes and calls the engine's yield; `files` must allow a read
// and a replace at once. `expectedBytes` is not needed and only kept for the
// same shape. A read failure leaves the old output as it was.
ConvertResult ConvertFileLaidOut(cSievetext& engine, FileSystem& files, const std::string& input,
                                 std::uint64_t expectedBytes, const std::string& output);

}  // namespace sievetext
