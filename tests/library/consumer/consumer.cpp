// A program of someone else's, built against the installed library.
#include <sievetext/sievetext.h>

#include <cstdio>

int main() {
  sievetext::Options options;
  options.set("RemoveAllCRLF", false);
  options.lineBreaks = sievetext::LineBreaks::Lf;
  try {
    std::fputs(sievetext::convert("<p>caf&eacute;</p>\r\n<p>two</p>", options).c_str(), stdout);
    sievetext::convertFile("/nonexistent/page.html", "/nonexistent/page.txt");
  } catch (const sievetext::Error& error) {
    std::printf("|%d|%s\n", static_cast<int>(error.code()), error.what());
  }
  return 0;
}
