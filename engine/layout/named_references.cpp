#include "engine/layout/named_references.h"

namespace sievetext::layout {
namespace {

constexpr NamedReference kRows[] = {
#include "engine/layout/named_references.inc"
};

}  // namespace

std::span<const NamedReference> NamedReferences() { return kRows; }

}  // namespace sievetext::layout
