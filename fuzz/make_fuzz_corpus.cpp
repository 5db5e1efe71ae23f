// Writes one seed file per vocabulary token, plus a few documents made of
// several tokens, each under a handful of option masks, into the folder given
// as the only argument.
#include <cstdio>
#include <fstream>
#include <random>
#include <string>

#include "tests/engine/reference/engine_options.h"
#include "tests/engine/reference/quirk_vocabulary.h"

int main(int argc, char** argv) {
  using namespace sievetext;
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fuzz_corpus DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  const unsigned masks[] = {kAllOptions,          0,         kComments,
                            kScripts | kStyles,   kEntities, kEntities | kAllTags,
                            kSpaces | kBlankLines};
  std::mt19937_64 rng(7);
  int written = 0;
  auto write = [&](unsigned mask, const std::string& body) {
    std::string bytes;
    bytes += char(mask & 0xFF);
    bytes += char((mask >> 8) & 0x07);
    bytes += body;
    std::ofstream(dir + "/seed-" + std::to_string(written++), std::ios::binary) << bytes;
  };
  for (std::size_t t = 0; t < quirks::TokenCount(); ++t) {
    // Each token alone, once, under a mask that cycles through the list.
    write(masks[t % std::size(masks)], "a" + quirks::BytesForToken(t) + "b");
  }
  for (int doc = 0; doc < 200; ++doc) {
    std::string body;
    int tokens = 2 + int(rng() % 10);
    for (int i = 0; i < tokens; ++i) {
      body += (rng() % 3 == 0) ? std::string(1, "ab <>&;-!\n\t"[rng() % 11])
                               : quirks::BytesForToken(rng() % quirks::TokenCount());
    }
    write(masks[rng() % std::size(masks)], body);
  }
  // Pages that declare their charset, in each way the prescan knows.
  for (const char* head :
       {"<meta charset=shift_jis>\x93\xFA\x96\x7B",
        "<meta http-equiv=Content-Type content='text/html; charset=gb18030'>"
        "\x81\x30\x81\x30\xCE\xD2",
        "<?xml version=\"1.0\" encoding=\"koi8-r\"?>\xF0\xD2",
        "<!-- <meta charset=big5> --><meta charset=\"euc-jp\">\xC6\xFC",
        "<html><head><title>t</title><meta charset=iso-2022-jp>\x1B$BF|\x1B(B"}) {
    write(0, head);
  }
  std::printf("%d seeds written to %s\n", written, dir.c_str());
  return 0;
}
