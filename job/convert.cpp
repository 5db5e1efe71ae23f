#include "job/convert.h"

#include <functional>
#include <utility>

#include "job/engine_hooks.h"
#include "text/text_codec.h"

namespace sievetext {
namespace {

// Passes the engine's failures on to its reporter and remembers that one
// happened, for as long as it lives.
class FailureWatch final : public ConversionReporter {
 public:
  explicit FailureWatch(cSievetext& engine)
      : previous_(engine.reporter), hooks_(engine, {}, this) {}

  void report(std::string_view procedure, long number, std::string_view description) override {
    failed_ = true;
    if (previous_ != nullptr) previous_->report(procedure, number, description);
  }
  bool failed() const { return failed_; }

 private:
  ConversionReporter* previous_;
  EngineHooks hooks_;
  bool failed_ = false;
};

// The engine's yield, called through a copy so that it may replace itself.
void YieldToHost(const cSievetext& engine) {
  if (const std::function<void()> hook = engine.yield) hook();
}

}  // namespace

std::string ConvertBytes(cSievetext& engine, std::string_view bytes,
                         TextDecoder::Declarations declarations) {
  // Room for the line breaks the engine may widen at the end.
  TextDecoder decoder(bytes.size(), bytes.size(), declarations);
  decoder.feed(bytes, true);
  std::u16string text = decoder.take();
  engine.ExtractTextInPlace(text);
  return EncodeText(text);
}

ConvertResult ConvertFile(cSievetext& engine, FileSystem& files, const std::string& input,
                          std::uint64_t expectedBytes, const std::string& output) {
  std::u16string text;
  {
    // Decoded piece by piece as it is read: the file's bytes are never held
    // whole next to its text. The spare room lets the engine widen the line
    // breaks in place; it is only taken up where it is used.
    TextDecoder decoder(expectedBytes, expectedBytes);
    std::uint64_t sinceYield = 0;
    const int error = files.read(input, [&](std::string_view piece, bool last) {
      decoder.feed(piece, last);
      sinceYield += piece.size();
      if (sinceYield >= kYieldEveryBytes && !last) {
        sinceYield = 0;
        YieldToHost(engine);
      }
    });
    if (error) return {ConvertStatus::ReadFailed, error};
    text = decoder.take();
  }

  {
    FailureWatch watch(engine);
    engine.ExtractTextInPlace(text);
    if (watch.failed()) return {ConvertStatus::EngineFailed, 0};
  }

  // A long text is written with yields in between, so that the window stays
  // responsive and can be closed; the old output stays until the last piece.
  TextEncoder encoder(text);
  std::uint64_t sinceYield = 0;
  const auto source = [&encoder, &engine, &sinceYield] {
    const std::string_view piece = encoder.next();
    if (sinceYield + piece.size() > kYieldEveryBytes) {
      YieldToHost(engine);
      sinceYield = 0;
    }
    sinceYield += piece.size();
    return piece;
  };
  if (const int error = files.replace(output, source)) return {ConvertStatus::WriteFailed, error};
  return {};
}

}  // namespace sievetext
