#include "settings/safe_bool.h"

#include <gtest/gtest.h>

#include <string>

namespace sievetext {
namespace {

TEST(SafeBoolTest, TextConvertsLikeAStoredOptionValue) {
  const struct {
    const char* text;
    bool expected;
  } rows[] = {
      {"true", true},
      {"True", true},
      {"TRUE", true},
      {"tRuE", true},
      {"false", false},
      {"False", false},
      {"FALSE", false},
      {"1", true},
      {"-1", true},
      {"0", false},
      {"-0", false},
      {"2", true},
      {"+7", true},
      {"0.0", false},
      {"0.5", true},
      {".5", true},
      {"1e3", true},
      {"0e9", false},
      {" 1 ", true},
      {"\ttrue ", true},
      {"", false},
      {"yes", false},
      {"on", false},
      {"no", false},
      {"1x", false},
      {"tru", false},
      {"truee", false},
      {"-", false},
      {".", false},
      {"1e", false},
      {"- 1", false},
      {"true false", false},
      // Far past any integer type: still only "is it zero?".
      {"99999999999999999999999999999999", true},
      {"00000000000000000000000000000000", false},
  };
  for (const auto& row : rows)
    EXPECT_EQ(SafeBool(row.text), row.expected) << '"' << row.text << '"';
  EXPECT_FALSE(SafeBool(std::string("tr\0ue", 5)));
  EXPECT_FALSE(SafeBool(static_cast<const char*>(nullptr)));
}

TEST(SafeBoolTest, CheckBoxValuesAndNumbers) {
  EXPECT_FALSE(SafeBool(0));
  EXPECT_TRUE(SafeBool(1));
  EXPECT_TRUE(SafeBool(2));  // greyed
  EXPECT_TRUE(SafeBool(-1));
  EXPECT_TRUE(SafeBool(true));
  EXPECT_FALSE(SafeBool(false));
}

}  // namespace
}  // namespace sievetext
