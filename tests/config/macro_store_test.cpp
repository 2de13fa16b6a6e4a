#include "config/macro_store.h"

#include <gtest/gtest.h>

namespace tolmar {
namespace {

TEST(MacroStore, ReadTakesStepsUpToTheFirstGapAndDropsNameOnlySlots) {
  IniFile ini;
  ini.parse(
      "[Macros]\n"
      "macro1.nm=Clean Side\nmacro1.1=Declicking | Find All Clicks [Larger Clicks]\n"
      "macro1.2=<Silent> Other Effects | Filter (With Undo) [Rumble]\nmacro1.4=After Gap\n"
      "macro2.nm=Only A Name\n"
      "macro3.1=[Call Macro #1]\nmacro3.2=\nmacro3.3=Hidden\n"
      "macro48.1=[Refresh Display]\nmacro48.nm=\n"
      "macro49.1=Out Of Range\nmacro0.1=Out Of Range\n");
  MacroTable table;
  table.store(5, {"Stale"}, "Old");
  table.read(ini);

  ASSERT_NE(table.get(1), nullptr);
  EXPECT_EQ(table.get(1)->name, "Clean Side");
  EXPECT_EQ(table.get(1)->steps,
            (std::vector<std::string>{"Declicking | Find All Clicks [Larger Clicks]",
                                      "<Silent> Other Effects | Filter (With Undo) [Rumble]"}));
  EXPECT_EQ(table.get(2), nullptr) << "a name without steps is not loaded";
  EXPECT_EQ(table.get(3)->steps, (std::vector<std::string>{"[Call Macro #1]"}));
  EXPECT_EQ(table.get(5), nullptr) << "reading replaces what was there";
  EXPECT_EQ(table.get(48)->name, "");
  EXPECT_EQ(table.get(0), nullptr);
  EXPECT_EQ(table.get(49), nullptr);
  EXPECT_EQ(table.listLines(),
            (std::vector<std::string>{"Macro #1 [Clean Side]", "Macro #3", "Macro #48"}));

  table.write(ini);
  EXPECT_EQ(ini.keyNames("Macros"),
            (std::vector<std::string>{"macro1.nm", "macro1.1", "macro1.2", "macro3.nm", "macro3.1",
                                      "macro48.nm", "macro48.1"}));
  EXPECT_EQ(ini.readString("Macros", "macro3.nm", "missing"), "");
  MacroTable back;
  back.read(ini);
  for (int slot = 1; slot <= MacroTable::kSlots; ++slot) {
    ASSERT_EQ(back.get(slot) == nullptr, table.get(slot) == nullptr) << slot;
    if (!back.get(slot)) continue;
    EXPECT_EQ(back.get(slot)->steps, table.get(slot)->steps);
    EXPECT_EQ(back.get(slot)->name, table.get(slot)->name);
  }
}

TEST(MacroStore, StoringAnEmptyListFreesTheSlot) {
  MacroTable table;
  table.store(7, {"Edit | Undo"}, "Undo It");
  ASSERT_NE(table.get(7), nullptr);
  table.get(7)->running = true;
  MacroDefinition* before = table.get(7);
  table.store(7, {"Edit | Redo", "Edit | Undo"}, "");
  EXPECT_EQ(table.get(7), before) << "a macro that is stored again stays the same object";
  EXPECT_EQ(table.get(7)->steps.size(), 2u);
  table.store(7, {}, "Name");
  EXPECT_EQ(table.get(7), nullptr);
  table.store(49, {"x"}, "");
  EXPECT_TRUE(table.listLines().empty());
}

TEST(MacroStore, ListTextNumbersReadBack) {
  MacroTable table;
  table.store(9, {"x"}, "Nine");
  table.store(12, {"x"}, "");
  EXPECT_EQ(table.listText(9), "Macro #9 [Nine]");
  EXPECT_EQ(MacroTable::slotFromListText(table.listText(9)), 9);
  EXPECT_EQ(MacroTable::slotFromListText(table.listText(12)), 12);
  EXPECT_EQ(MacroTable::slotFromListText("Macro #48"), 48);
  EXPECT_EQ(MacroTable::slotFromListText("Macro #49"), 0);
  EXPECT_EQ(MacroTable::slotFromListText("Macro #"), 0);
  EXPECT_EQ(MacroTable::slotFromListText("Batch"), 0);
}

}  // namespace
}  // namespace tolmar
