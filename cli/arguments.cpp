#include "cli/arguments.h"

#include <getopt.h>

#include <charconv>

namespace sievetext {
namespace {

// Values of the long options that have no short form.
enum : int {
  kVersionOption = 256,
  kWithOption,
  kWithoutOption,
  kLfOption,
  kWindowOption,
  kLayoutOption,
};

constexpr option kLongOptions[] = {
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, kVersionOption},
    {"quiet", no_argument, nullptr, 'q'},
    {"recursive", no_argument, nullptr, 'r'},
    {"output-dir", required_argument, nullptr, 'd'},
    {"jobs", required_argument, nullptr, 'j'},
    {"with", required_argument, nullptr, kWithOption},
    {"without", required_argument, nullptr, kWithoutOption},
    {"lf", no_argument, nullptr, kLfOption},
    {"window", no_argument, nullptr, kWindowOption},
    {"layout", no_argument, nullptr, kLayoutOption},
    {nullptr, 0, nullptr, 0},
};
// The leading ':' makes a missing value come back as ':' rather than '?'.
constexpr const char* kShortOptions = ":hqrd:j:";

std::string OptionNamesList() {
  std::string list;
  for (const OptionInfo& option : kOptions) list.append(option.name).append(", ");
  return list + "all";
}

Arguments Problem(Arguments args, std::string problem) {
  args.action = Arguments::Action::Usage;
  args.problem = std::move(problem);
  return args;
}

// Checks that only make sense once every argument has been seen.
Arguments Settle(Arguments args, bool window, bool help, bool version, bool conversionOptions) {
  if (help) {
    args.action = Arguments::Action::Help;
  } else if (version) {
    args.action = Arguments::Action::Version;
  } else if (window) {
    if (conversionOptions) return Problem(args, "--window takes no conversion options");
    if (args.paths.size() > 1) return Problem(args, "--window takes at most one INPUT");
    args.action = Arguments::Action::Window;
  } else if (args.outputFolder) {
    if (args.outputFolder->empty()) return Problem(args, "the FOLDER of -d is empty");
    if (args.paths.empty()) return Problem(args, "-d needs at least one INPUT");
    for (const std::string& path : args.paths) {
      if (path == "-") return Problem(args, "standard input (-) needs the form INPUT OUTPUT");
    }
  } else if (args.recursive) {
    return Problem(args, "-r works with -d FOLDER");
  } else if (args.paths.empty()) {
    return Problem(args, "missing INPUT");
  } else if (args.paths.size() == 1) {
    args.paths.emplace_back("-");  // the text goes to standard output
  } else if (args.paths.size() > 2) {
    return Problem(args, "too many paths (use -d FOLDER for many inputs)");
  }
  return args;
}

}  // namespace

Arguments ParseArguments(const std::vector<std::string>& arguments) {
  Arguments args;
  if (arguments.empty()) {
    args.action = Arguments::Action::Window;
    return args;
  }
  // getopt wants writable C strings and reorders them.
  std::vector<std::string> copies;
  copies.reserve(arguments.size() + 1);
  copies.push_back("sievetext");
  copies.insert(copies.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  argv.reserve(copies.size() + 1);
  for (std::string& text : copies) argv.push_back(text.data());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(copies.size());

  bool window = false, help = false, version = false, conversionOptions = false;
  opterr = 0;
  optind = 0;  // start afresh, also after an earlier parse
  for (;;) {
    const int c = ::getopt_long(argc, argv.data(), kShortOptions, kLongOptions, nullptr);
    if (c == -1) break;
    // The argument as written, for messages.
    const std::string given = optind > 0 && optind <= argc ? argv[optind - 1] : "";
    switch (c) {
      case 'h':
        help = true;
        break;
      case kVersionOption:
        version = true;
        break;
      case 'q':
        args.quiet = true;
        break;
      case 'r':
        args.recursive = conversionOptions = true;
        break;
      case 'd':
        args.outputFolder = optarg;
        conversionOptions = true;
        break;
      case 'j': {
        const std::string_view text = optarg;
        unsigned long jobs = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), jobs);
        const bool tooLarge = error == std::errc::result_out_of_range;
        if (text.empty() || error == std::errc::invalid_argument ||
            end != text.data() + text.size() || (jobs == 0 && !tooLarge)) {
          return Problem(
              args, "the job count must be a whole number from 1: '" + std::string(text) + "'");
        }
        // Anything past the cap (overflow included) means "as many as allowed".
        args.jobs = tooLarge || jobs > kMaxJobs ? kMaxJobs : static_cast<unsigned>(jobs);
        conversionOptions = true;
        break;
      }
      case kWithOption:
      case kWithoutOption: {
        const auto options = OptionsNamed(optarg);
        if (options.empty()) {
          return Problem(args, "unknown option name '" + std::string(optarg) + "' (one of " +
                                   OptionNamesList() + ")");
        }
        args.edits.push_back({options, c == kWithOption});
        conversionOptions = true;
        break;
      }
      case kLfOption:
        args.lfLineBreaks = conversionOptions = true;
        break;
      case kWindowOption:
        window = true;
        break;
      case kLayoutOption:
        args.layout = conversionOptions = true;
        break;
      case ':':
        return Problem(args, "option '" + given + "' needs a value");
      default:
        if (optopt != 0 && optopt < 256 && given.rfind("--", 0) != 0) {
          return Problem(args, std::string("unknown option '-") + char(optopt) + "'");
        }
        return Problem(args, "unknown or ambiguous option '" + given + "'");
    }
  }
  for (int i = optind; i < argc; ++i) args.paths.emplace_back(argv[i]);
  return Settle(std::move(args), window, help, version, conversionOptions);
}

std::string UsageText(std::string_view problem) {
  std::string text = "sievetext: ";
  // The arguments quoted in it reach a terminal: no control characters.
  for (const char c : problem) {
    text.push_back(static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c);
  }
  text.append(
      "\nUsage: sievetext [OPTION]... INPUT [OUTPUT] | -d FOLDER INPUT...  (sievetext --help "
      "for more)");
  return text;
}

std::string HelpText(std::string_view settingsPath) {
  std::string text =
      "Usage: sievetext [OPTION]... INPUT [OUTPUT]\n"
      "  or:  sievetext [OPTION]... -d FOLDER INPUT...\n"
      "  or:  sievetext [--window [INPUT]]\n"
      "Turn HTML files into plain text with the options saved by the window.\n"
      "\n"
      "Paths are taken from the current folder. \"-\" is standard input as INPUT and\n"
      "standard output as OUTPUT; without OUTPUT the text goes to standard output.\n"
      "An existing OUTPUT file is replaced without asking; a FIFO, a device such as\n"
      "/dev/null or /dev/stdout is written in place. OUTPUT may not be INPUT itself.\n"
      "\n"
      "  -d, --output-dir=FOLDER  convert each INPUT to FOLDER/NAME.txt, NAME being\n"
      "                             the input's name without its last extension;\n"
      "                             FOLDER is created if missing\n"
      "  -r, --recursive          with -d: convert every .html and .htm file found\n"
      "                             below a folder INPUT into the same subfolder of\n"
      "                             FOLDER; names starting with \".\" are skipped\n"
      "  -j, --jobs=N             convert N files at once (default: one per core)\n"
      "      --with=NAME          switch option NAME on, for this run only\n"
      "      --without=NAME       switch option NAME off, for this run only\n"
      "      --lf                 end lines with LF instead of CR LF\n"
      "      --layout             reading mode: the text a browser shows, laid out\n"
      "                             in lines (blocks, paragraphs, list items, table\n"
      "                             rows with tab-separated cells), every character\n"
      "                             reference decoded; see LAYOUT below (the\n"
      "                             window's reading-mode box is not used here)\n"
      "  -q, --quiet              print no messages; the exit status still tells\n"
      "      --window             open the window, with INPUT chosen if given\n"
      "  -h, --help               show this help and exit\n"
      "      --version            show the version and exit\n"
      "  --                       end of options (for a path starting with \"-\")\n"
      "\n"
      "NAME is one of the options, in any letter case, or all for all eleven:\n"
      "  ";
  std::size_t column = 2;
  for (std::size_t i = 0; i < kOptions.size(); ++i) {
    const std::string_view name = kOptions[i].name;
    if (i > 0 && column + 1 + name.size() > 78) {
      text.append("\n  ");
      column = 2;
    } else if (i > 0) {
      text.append(" ");
      ++column;
    }
    text.append(name);
    column += name.size();
  }
  text.append(
      "\n"
      "--with and --without apply from left to right on top of the saved options.\n"
      "\n"
      "LAYOUT: --layout applies the page's own style sheets as far as they change\n"
      "the text (display, visibility, white-space, text-transform, float,\n"
      "position, content-visibility; media queries as for an 800x600 screen):\n"
      "style elements, style attributes, and for a page read from a file the\n"
      "sheets it links or imports by a relative path, read from beside it\n"
      "(never a URL, an absolute path, a device or a FIFO).\n"
      "RemoveAllCRLF, on by default, still joins the lines with single spaces in\n"
      "this mode (--without=RemoveAllCRLF keeps them), RemoveBlankLines drops\n"
      "empty lines, RemoveSpaces collapses runs of spaces\n"
      "(in preformatted text too), RemoveTabs turns tabs (cell separators too) into\n"
      "spaces, RemovePipe turns \"|\" into spaces, and GenerateSpecialChars off\n"
      "leaves references as written. RemoveComments, RemoveScripts, RemoveStyles,\n"
      "RemoveFunctions and RemoveAllTags do nothing: comments, scripts, styles and\n"
      "tags never reach the text, and braces stay. The layout alone:\n"
      "--layout --without=all --with=GenerateSpecialChars\n"
      "\n"
      "Exit status: 0 every output was written; 2 at least one input failed (reading,\n"
      "writing, converting, creating a folder), or the window could not start, or a\n"
      "message or this help could not be written; otherwise 1 when an input stopped\n"
      "at a check (an empty path, a missing or empty input, an output that is the\n"
      "input, two inputs for one output) or the arguments were wrong.\n"
      "\n"
      "Options are saved in ");
  text.append(settingsPath);
  text.append("\n");
  return text;
}

}  // namespace sievetext
