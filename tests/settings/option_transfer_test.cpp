#include "settings/option_transfer.h"

#include <gtest/gtest.h>

#include "tests/support/memory_settings_store.h"

namespace sievetext {
namespace {

using testing::MemorySettingsStore;

TEST(OptionTransferTest, NothingStoredTicksEverything) {
  MemorySettingsStore store;
  OptionModel boxes;
  LoadOptions(store, boxes);
  for (const OptionInfo& option : kOptions) EXPECT_EQ(boxes.value(option.key), 1) << option.name;
}

TEST(OptionTransferTest, StoredFormsLoadAndComeBackAsTrueOrFalse) {
  const struct {
    const char* stored;
    int box;
    const char* saved;
  } rows[] = {
      {"True", 1, "True"},   {"true", 1, "True"},   {"TRUE", 1, "True"}, {"False", 0, "False"},
      {"false", 0, "False"}, {"FALSE", 0, "False"}, {"1", 1, "True"},    {"-1", 1, "True"},
      {"0", 0, "False"},     {"", 0, "False"},      {"yes", 0, "False"}, {"on", 0, "False"},
  };
  for (const auto& row : rows) {
    MemorySettingsStore store;
    for (const OptionInfo& option : kOptions) store.values[std::string(option.name)] = row.stored;
    OptionModel boxes;
    LoadOptions(store, boxes);
    SaveOptions(boxes, store);
    for (const OptionInfo& option : kOptions) {
      EXPECT_EQ(boxes.value(option.key), row.box) << row.stored;
      EXPECT_EQ(store.values[std::string(option.name)], row.saved) << row.stored;
    }
    EXPECT_EQ(store.syncs, 1);
  }
}

TEST(OptionTransferTest, EachKeyGoesToItsOwnBoxAndField) {
  for (const OptionInfo& missing : kOptions) {
    // One key missing, the other ten False: only that box is ticked.
    MemorySettingsStore store;
    for (const OptionInfo& option : kOptions) {
      if (option.key != missing.key) store.values[std::string(option.name)] = "False";
    }
    OptionModel boxes;
    LoadOptions(store, boxes);
    cSievetext engine;
    CopyOptions(boxes, engine);
    for (const OptionInfo& option : kOptions) {
      const bool expected = option.key == missing.key;
      EXPECT_EQ(boxes.value(option.key), expected ? 1 : 0) << option.name;
      EXPECT_EQ(engine.*option.field, expected) << option.name;
    }
  }
}

TEST(OptionTransferTest, StoredTwoLoadsAsTicked) {
  // Older settings files may hold a check box's third state, 2.
  MemorySettingsStore store;
  store.values["RemoveTabs"] = "2";
  store.values["RemovePipe"] = "0";
  OptionModel boxes;
  LoadOptions(store, boxes);
  EXPECT_EQ(boxes.value(OptionKey::RemoveTabs), 1);
  EXPECT_EQ(boxes.value(OptionKey::RemovePipe), 0);
}

TEST(OptionTransferTest, AnyNonZeroBoxValueCountsAsTicked) {
  OptionModel boxes;
  boxes.setValue(OptionKey::RemoveTabs, 2);
  cSievetext engine;
  engine.RemoveComments = true;  // copied over, not kept
  CopyOptions(boxes, engine);
  EXPECT_TRUE(engine.RemoveTabs);
  EXPECT_FALSE(engine.RemoveComments);
  MemorySettingsStore store;
  SaveOptions(boxes, store);
  EXPECT_EQ(store.values["RemoveTabs"], "True");
  EXPECT_EQ(store.values["RemoveComments"], "False");
  EXPECT_EQ(store.values.size(), kOptions.size());
}

// The window's reading mode: off unless stored as true, so a file from an
// older program (no key) reads as off; saved as True / False.
TEST(OptionTransferTest, ReadingModeIsOffUnlessStoredAsTrue) {
  MemorySettingsStore store;
  EXPECT_FALSE(LoadLayout(store));
  for (const char* text : {"True", "true", "TRUE", "1", "-1"}) {
    store.values["Layout"] = text;
    EXPECT_TRUE(LoadLayout(store)) << text;
  }
  for (const char* text : {"False", "0", "", "yes"}) {
    store.values["Layout"] = text;
    EXPECT_FALSE(LoadLayout(store)) << text;
  }
  SaveLayout(true, store);
  EXPECT_EQ(store.values["Layout"], "True");
  SaveLayout(false, store);
  EXPECT_EQ(store.values["Layout"], "False");
  EXPECT_EQ(store.values.size(), 1u) << "the eleven options are not touched";
}

}  // namespace
}  // namespace sievetext
