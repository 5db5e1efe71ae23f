#pragma once

// Sievetext as a library: turns HTML documents into plain text, byte for byte
// as the sievetext command does.
//
//   sievetext::Options options;          // every clean-up on, CR LF breaks
//   options.RemoveAllCRLF = false;
//   std::string text = sievetext::convert("<p>caf&eacute;</p>", options);
//   sievetext::convertFile("in.html", "out.txt", options);
//
//   sievetext::Options reading;          // the reading mode: the text a
//   reading.layout = true;               // browser shows, laid out in lines
//   reading.set("all", false);           // the layout alone, but with
//   reading.GenerateSpecialChars = true; // every reference decoded
//
// Every function may be called from any number of threads at once; calls
// share nothing. Failures are thrown as sievetext::Error (below), never shown
// or printed.

#include <array>
#include <atomic>
#include <stdexcept>
#include <string>
#include <string_view>

#if defined(_WIN32)
#define SIEVETEXT_API
#else
#define SIEVETEXT_API __attribute__((visibility("default")))
#endif

#define SIEVETEXT_VERSION_MAJOR 1
#define SIEVETEXT_VERSION_MINOR 0
#define SIEVETEXT_VERSION_REVISION 20

namespace sievetext {
inline namespace v1 {

enum class LineBreaks {
  CrLf,  // "\r\n", as the command writes by default
  Lf,    // "\n": each CR LF of the result becomes LF, nothing else changes
};

// How to convert. A default-constructed value has every option on, as a
// fresh installation does.
struct SIEVETEXT_API Options {
  bool RemoveComments = true;        // cut <!-- ... --> blocks
  bool RemoveScripts = true;         // cut <script ... /script> blocks
  bool RemoveStyles = true;          // cut <style ... /style> blocks
  bool RemoveFunctions = true;       // cut { ... } blocks
  bool RemovePipe = true;            // "|" becomes a space
  bool RemoveTabs = true;            // a tab becomes a space
  bool GenerateSpecialChars = true;  // decode character entities
  bool RemoveAllTags = true;         // delete every "<" ... ">" span
  bool RemoveAllCRLF = true;         // join all lines into one
  bool RemoveSpaces = true;          // collapse runs of spaces
  bool RemoveBlankLines = true;      // drop empty lines
  LineBreaks lineBreaks = LineBreaks::CrLf;
  // The reading mode: instead of the cuts above, the page's visible text laid
  // out as a browser lays it out (blocks and list items on lines of their
  // own, an empty line around paragraphs, table cells separated by tabs and
  // rows by lines, white space collapsed except in preformatted text, every
  // character reference decoded, nothing from head, scripts, styles, comments
  // or attributes). The page's own style sheets apply as far as they change
  // the text (display, visibility, white-space, text-transform, float,
  // position, content-visibility; media queries as for an 800x600 screen):
  // its style elements and attributes, and with convertFile() the sheets it
  // links or imports by a relative path, read from beside the input (never a
  // URL, an absolute path, a device or a FIFO; regular files of up to 1 MiB,
  // at most 64; a missing one is skipped). On top of the layout,
  // RemoveAllCRLF (on by default) still joins the lines with single spaces,
  // RemoveBlankLines drops empty lines, RemoveSpaces collapses
  // runs of spaces, RemoveTabs and RemovePipe turn tabs and '|' into spaces,
  // and GenerateSpecialChars off leaves references as written; the other five
  // options do nothing in this mode. Read and written in one streaming pass.
  //
  // Added in 1.1: the field makes Options four bytes longer. convert() and
  // convertFile() taking the longer Options are new symbols (version
  // SIEVETEXT_1.1); programs built against 1.0 keep calling the 1.0 ones,
  // which read the shorter Options and never the layout.
  bool layout = false;

  // The eleven option names, alphabetical, spelled as the fields above.
  static const std::array<std::string_view, 11>& names() noexcept;

  // Sets the option called `name`, in any letter case; "all" sets all
  // eleven. Returns false, changing nothing, for any other name.
  bool set(std::string_view name, bool on) noexcept;

  // The option called `name`, in any letter case. Throws std::invalid_argument
  // for a name that is not one of the eleven.
  bool get(std::string_view name) const;
};

enum class ErrorCode {
  InvalidArgument,   // an empty path, or a path holding a NUL byte
  InputMissing,      // no normal file at the input path (a folder, a hidden file)
  InputEmpty,        // the input file has 0 bytes
  FileError,         // reading or writing failed; systemError() holds the errno value
  OutOfMemory,       // the document did not fit in memory
  ConversionFailed,  // the converter failed; nothing was produced
  Interrupted,       // the caller's stop flag was set; nothing was produced
};

// Thrown by every function below. what() is the message the command line
// would print for the same failure, without the program's name, such as
// "page.html: Input file is missing".
class SIEVETEXT_API Error : public std::runtime_error {
 public:
  Error(ErrorCode code, const std::string& message, int systemError = 0, std::string path = {});
  ~Error() override;

  ErrorCode code() const noexcept { return code_; }
  // The errno value of a FileError, else 0.
  int systemError() const noexcept { return systemError_; }
  // The file concerned, when there is one.
  const std::string& path() const noexcept { return path_; }

 private:
  ErrorCode code_;
  int systemError_;
  std::string path_;
};

// Converts one whole document. `html` holds the file's bytes: a UTF-8 or
// UTF-16 byte-order mark chooses the encoding; otherwise a charset the page
// declares in its first 1024 bytes (<meta charset="koi8-r">, <meta
// http-equiv="Content-Type" content="text/html; charset=Shift_JIS">, an XML
// declaration) is decoded as such, and for the rest, including pages that
// declare UTF-8, ISO-8859-1, US-ASCII or Windows-1252, well-formed UTF-8 is
// read as UTF-8 and every other byte as Windows-1252. Returns the text as
// UTF-8 without a byte-order mark; an empty document gives an empty text.
// Throws Error (OutOfMemory, ConversionFailed).
SIEVETEXT_API std::string convert(std::string_view html, const Options& options = {});

// The same for a document that is already text, handed over as its UTF-8
// (a string of the calling program): read as UTF-8, whatever charset the page
// inside declares; bytes that are not UTF-8 are read as Windows-1252.
SIEVETEXT_API std::string convertText(std::string_view utf8, const Options& options = {});

// Converts the file `input` into the file `output` (paths as given, relative
// ones from the working folder), with the command line's checks: the input
// must be a normal file (not a folder, not hidden) of at least one byte.
// `output` is replaced whole, atomically: afterwards it holds either the new
// text or, after a failure, exactly what it held before, and nothing else is
// left behind. The same file as `input` and `output` (one path, a link or a hard link) is
// refused with InvalidArgument before anything is written. Throws Error.
SIEVETEXT_API void convertFile(const std::string& input, const std::string& output,
                               const Options& options = {});

// The same conversions for a caller that may want to stop them from
// another thread: once `stop` is true, the conversion ends at its next step
// (between the engine's passes, and every 16 MiB read or written) with
// Error(ErrorCode::Interrupted), nothing produced and the output left as it
// was.
SIEVETEXT_API std::string convert(std::string_view html, const Options& options,
                                  const std::atomic<bool>& stop);
SIEVETEXT_API std::string convertText(std::string_view utf8, const Options& options,
                                      const std::atomic<bool>& stop);
SIEVETEXT_API void convertFile(const std::string& input, const std::string& output,
                               const Options& options, const std::atomic<bool>& stop);

// "1.0.20": the library's version, which may be newer than the header's.
SIEVETEXT_API const char* version() noexcept;

}  // namespace v1
}  // namespace sievetext
