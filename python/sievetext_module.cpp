// The Python module "sievetext": the library's two conversions, with the
// options as keyword arguments and the interpreter lock released while the
// converter runs.

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>

#include "sievetext/sievetext.h"

namespace py = pybind11;

namespace {

// Keyword arguments, in the order of Options' fields; all on by default.
#define SIEVETEXT_OPTION_PARAMETERS                                                    \
  bool RemoveComments, bool RemoveScripts, bool RemoveStyles, bool RemoveFunctions,    \
      bool RemovePipe, bool RemoveTabs, bool GenerateSpecialChars, bool RemoveAllTags, \
      bool RemoveAllCRLF, bool RemoveSpaces, bool RemoveBlankLines, bool lf, bool layout

sievetext::Options MakeOptions(SIEVETEXT_OPTION_PARAMETERS) {
  sievetext::Options options;
  options.RemoveComments = RemoveComments;
  options.RemoveScripts = RemoveScripts;
  options.RemoveStyles = RemoveStyles;
  options.RemoveFunctions = RemoveFunctions;
  options.RemovePipe = RemovePipe;
  options.RemoveTabs = RemoveTabs;
  options.GenerateSpecialChars = GenerateSpecialChars;
  options.RemoveAllTags = RemoveAllTags;
  options.RemoveAllCRLF = RemoveAllCRLF;
  options.RemoveSpaces = RemoveSpaces;
  options.RemoveBlankLines = RemoveBlankLines;
  options.lineBreaks = lf ? sievetext::LineBreaks::Lf : sievetext::LineBreaks::CrLf;
  options.layout = layout;
  return options;
}

#define SIEVETEXT_OPTION_ARGUMENTS                                                            \
  RemoveComments, RemoveScripts, RemoveStyles, RemoveFunctions, RemovePipe, RemoveTabs,       \
      GenerateSpecialChars, RemoveAllTags, RemoveAllCRLF, RemoveSpaces, RemoveBlankLines, lf, \
      layout

#define SIEVETEXT_OPTION_KEYWORDS                                                         \
  py::kw_only(), py::arg("RemoveComments") = true, py::arg("RemoveScripts") = true,       \
                 py::arg("RemoveStyles") = true, py::arg("RemoveFunctions") = true,       \
                 py::arg("RemovePipe") = true, py::arg("RemoveTabs") = true,              \
                 py::arg("GenerateSpecialChars") = true, py::arg("RemoveAllTags") = true, \
                 py::arg("RemoveAllCRLF") = true, py::arg("RemoveSpaces") = true,         \
                 py::arg("RemoveBlankLines") = true, py::arg("lf") = false,               \
                 py::arg("layout") = false

// The bytes of a str or bytes-like object; `keep` holds what they live in.
std::string_view DocumentBytes(const py::object& html, py::object& keep) {
  if (PyUnicode_Check(html.ptr())) {
    Py_ssize_t size = 0;
    // UTF-8, cached inside the str itself; fails on a lone surrogate.
    const char* data = PyUnicode_AsUTF8AndSize(html.ptr(), &size);
    if (data == nullptr) throw py::error_already_set();
    keep = html;
    return {data, static_cast<std::size_t>(size)};
  }
  if (PyBytes_Check(html.ptr())) {
    keep = html;
    return {PyBytes_AS_STRING(html.ptr()), static_cast<std::size_t>(PyBytes_GET_SIZE(html.ptr()))};
  }
  if (PyObject_CheckBuffer(html.ptr())) {
    // bytearray, memoryview, mmap ...: copied, since their content may change
    // while the lock is released.
    PyObject* copy = PyBytes_FromObject(html.ptr());
    if (copy == nullptr) throw py::error_already_set();
    keep = py::reinterpret_steal<py::object>(copy);
    return {PyBytes_AS_STRING(copy), static_cast<std::size_t>(PyBytes_GET_SIZE(copy))};
  }
  throw py::type_error(std::string("convert() needs str or bytes, not ") +
                       Py_TYPE(html.ptr())->tp_name);
}

// A path given as str or os.PathLike.
std::string PathText(const py::object& path) {
  py::object text = py::module_::import("os").attr("fsdecode")(path);
  py::object bytes = py::module_::import("os").attr("fsencode")(text);
  return bytes.cast<std::string>();
}

// Documents shorter than this end within a few milliseconds; only longer ones
// are worth a thread of their own to stay open to Ctrl-C.
constexpr std::size_t kStoppableBytes = std::size_t{1} << 20;

bool InMainThread() {
  py::module_ threading = py::module_::import("threading");
  return threading.attr("current_thread")().is(threading.attr("main_thread")());
}

// Runs `work(stop)` with the interpreter lock released. In the main thread,
// where Python's signal handlers run, the work runs on a thread of its own
// while this one looks for signals every 50 ms: a handler that raises
// (Ctrl-C's KeyboardInterrupt) sets `stop`, the work ends at its next step
// (leaving every file as it was), and the handler's exception is raised.
template <typename Work>
void RunStoppable(bool mayTakeLong, Work&& work) {
  std::atomic<bool> stop{false};
  if (!mayTakeLong || !InMainThread()) {
    py::gil_scoped_release unlocked;
    work(stop);
    return;
  }
  std::exception_ptr failure;
  bool signalled = false;
  {
    py::gil_scoped_release unlocked;
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    std::thread worker([&] {
      try {
        work(stop);
      } catch (...) {
        failure = std::current_exception();
      }
      const std::lock_guard<std::mutex> lock(mutex);
      done = true;
      ended.notify_one();
    });
    for (;;) {
      {
        std::unique_lock<std::mutex> lock(mutex);
        if (ended.wait_for(lock, std::chrono::milliseconds(50), [&] { return done; })) break;
      }
      py::gil_scoped_acquire locked;
      if (PyErr_CheckSignals() != 0) {
        signalled = true;
        stop = true;
        break;
      }
    }
    worker.join();
  }
  if (signalled) throw py::error_already_set();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace

PYBIND11_MODULE(_sievetext, m) {
  m.doc() =
      "Turns HTML documents into plain text, byte for byte as the sievetext command does.\n\n"
      "Every clean-up option is a keyword argument, on unless set to False:\n"
      "RemoveComments, RemoveScripts, RemoveStyles, RemoveFunctions, RemovePipe,\n"
      "RemoveTabs, GenerateSpecialChars, RemoveAllTags, RemoveAllCRLF, RemoveSpaces,\n"
      "RemoveBlankLines. lf=True writes LF line breaks instead of CR LF.\n"
      "layout=True is the reading mode: the text a browser shows, laid out in lines\n"
      "(blocks, paragraphs, list items, table rows with tab-separated cells), every\n"
      "character reference decoded, the page's own style elements and attributes\n"
      "applied (display, visibility, white-space, text-transform, ...), and for\n"
      "convert_file the sheets the page links by a relative path beside it. On top\n"
      "of it RemoveAllCRLF (on by default: it still joins the lines), RemoveBlankLines,\n"
      "RemoveSpaces, RemoveTabs, RemovePipe and GenerateSpecialChars keep their\n"
      "meaning; the other five options do nothing there.\n"
      "Conversions release the interpreter lock, so threads convert in parallel.";

  // pybind11 takes a plain function of exactly this signature.
  // NOLINTNEXTLINE(performance-unnecessary-value-param)
  py::register_exception_translator([](std::exception_ptr pointer) {
    try {
      if (pointer) std::rethrow_exception(pointer);
    } catch (const sievetext::Error& error) {
      switch (error.code()) {
        case sievetext::ErrorCode::InvalidArgument:
        case sievetext::ErrorCode::InputEmpty:
          PyErr_SetString(PyExc_ValueError, error.what());
          return;
        case sievetext::ErrorCode::OutOfMemory:
          PyErr_SetString(PyExc_MemoryError, error.what());
          return;
        case sievetext::ErrorCode::ConversionFailed:
          PyErr_SetString(PyExc_RuntimeError, error.what());
          return;
        case sievetext::ErrorCode::Interrupted:
          PyErr_SetNone(PyExc_KeyboardInterrupt);
          return;
        case sievetext::ErrorCode::InputMissing:
        case sievetext::ErrorCode::FileError:
          break;
      }
      // OSError(errno, text, filename) picks the matching subclass, such as
      // FileNotFoundError.
      const bool missing = error.code() == sievetext::ErrorCode::InputMissing;
      const int number = missing ? ENOENT : error.systemError();
      const std::string text =
          missing ? "Input file is missing" : std::generic_category().message(number);
      py::object path = py::reinterpret_steal<py::object>(PyUnicode_DecodeFSDefaultAndSize(
          error.path().data(), static_cast<Py_ssize_t>(error.path().size())));
      py::object instance = py::reinterpret_borrow<py::object>(PyExc_OSError)(number, text, path);
      PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(instance.ptr())), instance.ptr());
    }
  });

  m.def(
      "convert",
      [](const py::object& html, SIEVETEXT_OPTION_PARAMETERS) {
        const sievetext::Options options = MakeOptions(SIEVETEXT_OPTION_ARGUMENTS);
        py::object keep;
        const std::string_view bytes = DocumentBytes(html, keep);
        // A str is text already: the charset its page declares is not followed.
        const bool isText = PyUnicode_Check(html.ptr());
        std::string text;
        RunStoppable(bytes.size() >= kStoppableBytes, [&](const std::atomic<bool>& stop) {
          text = isText ? sievetext::convertText(bytes, options, stop)
                        : sievetext::convert(bytes, options, stop);
        });
        return py::str(text.data(), text.size());
      },
      py::arg("html"), SIEVETEXT_OPTION_KEYWORDS,
      "convert(html, **options) -> str\n\n"
      "Converts one whole document and returns its text.\n\n"
      "html: the document as bytes (as read from a file: a UTF-8 or UTF-16 byte-order\n"
      "mark chooses the encoding, then a charset the page declares in its first 1024\n"
      "bytes (<meta charset=...>, such as KOI8-R or Shift_JIS); otherwise, and for a\n"
      "declared UTF-8, ISO-8859-1, US-ASCII or Windows-1252, well-formed UTF-8 is read\n"
      "as UTF-8 and any other byte as Windows-1252) or as str (read as its UTF-8\n"
      "encoding, whatever charset the page declares).\n"
      "An empty document gives ''. Line breaks are CR LF unless lf=True.\n\n"
      "Raises TypeError for an unknown option, UnicodeEncodeError for a str holding a\n"
      "lone surrogate, MemoryError when the document does not fit in memory.");

  m.def(
      "convert_file",
      [](const py::object& src, const py::object& dst, SIEVETEXT_OPTION_PARAMETERS) {
        const sievetext::Options options = MakeOptions(SIEVETEXT_OPTION_ARGUMENTS);
        const std::string input = PathText(src);
        const std::string output = PathText(dst);
        RunStoppable(true, [&](const std::atomic<bool>& stop) {
          sievetext::convertFile(input, output, options, stop);
        });
      },
      py::arg("src"), py::arg("dst"), SIEVETEXT_OPTION_KEYWORDS,
      "convert_file(src, dst, **options) -> None\n\n"
      "Converts the file src into the file dst (UTF-8, no byte-order mark), as the\n"
      "sievetext command does. dst is replaced whole and atomically: after a failure\n"
      "it is exactly as it was, and nothing else is left behind.\n\n"
      "Raises FileNotFoundError when src is not a normal file (missing, a folder, or\n"
      "a hidden file), ValueError when src is empty, a path is '' or dst is src\n"
      "itself (by any name), OSError when\n"
      "reading or writing fails, TypeError for an unknown option.");

  py::list names;
  for (std::string_view name : sievetext::Options::names())
    names.append(py::str(name.data(), name.size()));
  m.attr("OPTIONS") = py::tuple(names);
  m.attr("__version__") = sievetext::version();
}
