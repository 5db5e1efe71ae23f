#include <gtest/gtest.h>

#include "engine/cSievetext.h"

namespace sievetext {
namespace {

TEST(EngineSmokeTest, NewInstanceHasEveryOptionOff) {
  cSievetext engine;
  EXPECT_FALSE(engine.RemoveComments || engine.RemoveScripts || engine.RemoveStyles ||
               engine.RemoveFunctions || engine.RemovePipe || engine.RemoveTabs ||
               engine.GenerateSpecialChars || engine.RemoveAllTags || engine.RemoveAllCRLF ||
               engine.RemoveSpaces || engine.RemoveBlankLines);
}

}  // namespace
}  // namespace sievetext
