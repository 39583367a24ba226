#include "platform/gtk/bridge_gate.h"

#include <gtest/gtest.h>

#include <set>

namespace lumireel::platform::gtk {
namespace {

TEST(BridgeGateTest, OnlyTheFirstGreetingOfAPageGetsTheKey) {
  BridgeGate gate;
  EXPECT_FALSE(gate.Accepts(""));
  const std::optional<std::string> key = gate.Greet();
  ASSERT_TRUE(key);
  EXPECT_TRUE(gate.Accepts(*key));
  // A frame that greets later gets nothing, and guesses fail.
  EXPECT_FALSE(gate.Greet());
  EXPECT_FALSE(gate.Accepts(""));
  EXPECT_FALSE(gate.Accepts(key->substr(1)));
  EXPECT_TRUE(gate.Accepts(*key));
}

TEST(BridgeGateTest, ANewPageVoidsTheOldKey) {
  BridgeGate gate;
  const std::string old_key = gate.Greet().value();
  gate.NewPage();
  EXPECT_FALSE(gate.Accepts(old_key));
  // Until the new page greets, no key is valid.
  EXPECT_FALSE(gate.Accepts(""));
  const std::string new_key = gate.Greet().value();
  EXPECT_NE(new_key, old_key);
  EXPECT_TRUE(gate.Accepts(new_key));
  EXPECT_FALSE(gate.Accepts(old_key));
}

TEST(BridgeGateTest, KeysAreLongAndDoNotRepeat) {
  std::set<std::string> keys;
  for (int i = 0; i < 200; ++i) {
    const std::string key = RandomKey();
    EXPECT_EQ(key.size(), 32u);
    EXPECT_EQ(key.find_first_not_of("0123456789abcdef"), std::string::npos);
    keys.insert(key);
  }
  EXPECT_EQ(keys.size(), 200u);
}

}  // namespace
}  // namespace lumireel::platform::gtk
