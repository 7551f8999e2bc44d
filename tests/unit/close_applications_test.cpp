#include "machine/close_applications.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace halvard {
namespace {

constexpr uint32_t engine_pid = 100;
constexpr uint32_t other_pid = 200;

CloseApplication entry(std::string window_class, std::string title, uint32_t mode = 0, uint8_t phases = 0x7) {
  return {std::move(window_class), std::move(title), "Notes", mode, phases};
}

WindowDescription window(std::string class_name, std::string title, uint32_t pid = other_pid) {
  return {std::move(class_name), std::move(title), pid};
}

struct MatchCase {
  const char* name;
  CloseApplication entry;
  WindowDescription window;
  bool matches;
};

TEST(CloseApplications, MatchingRules) {
  const MatchCase cases[] = {
      {"class only", entry("NotesFrame", ""), window("NotesFrame", "anything"), true},
      {"class, untitled window", entry("NotesFrame", ""), window("NotesFrame", ""), true},
      {"class differs in case", entry("NotesFrame", ""), window("notesframe", "x"), false},
      {"class is a prefix", entry("Notes", ""), window("NotesFrame", "x"), false},
      {"exact title", entry("", "Notes - Editor"), window("Any", "Notes - Editor"), true},
      {"exact title, longer window title", entry("", "Notes"), window("Any", "Notes - Editor"), false},
      {"exact title differs in case", entry("", "Notes - Editor"), window("Any", "Notes - editor"), false},
      {"star title contained", entry("", "*Editor"), window("Any", "Notes - Editor"), true},
      {"star title case-sensitive", entry("", "*Editor"), window("Any", "Notes - editor"), false},
      {"star title at the start", entry("", "*Notes"), window("Any", "Notes - Editor"), true},
      {"star title equal", entry("", "*Notes"), window("Any", "Notes"), true},
      {"star only in front", entry("", "Notes*"), window("Any", "Notes - Editor"), false},
      {"both given, both fit", entry("NotesFrame", "*Editor"), window("NotesFrame", "Notes - Editor"), true},
      {"both given, class fails", entry("NotesFrame", "*Editor"), window("Other", "Notes - Editor"), false},
      {"both given, title fails", entry("NotesFrame", "*Editor"), window("NotesFrame", "Notes"), false},
      {"neither given", entry("", ""), window("NotesFrame", "Notes"), false},
      {"neither given, empty window", entry("", ""), window("", ""), false},
      {"unreadable window, title entry", entry("", "*"), window("", ""), false},
      {"unreadable window, star entry", entry("", "*Editor"), window("", ""), false},
      // A lone asterisk tests no title: alone it must not take every window there is.
      {"lone star", entry("", "*"), window("AnyClass", "Any title"), false},
      {"lone star with class", entry("NotesFrame", "*"), window("NotesFrame", "Any title"), true},
      {"lone star with class, untitled", entry("NotesFrame", "*"), window("NotesFrame", ""), true},
  };
  for (const MatchCase& c : cases) {
    EXPECT_EQ(window_matches(c.entry, c.window), c.matches) << c.name;
  }
}

TEST(CloseApplications, AppliesOnlyInItsPhasesAndNeverToTheEngine) {
  const auto notes = window("NotesFrame", "Notes - Editor");
  EXPECT_TRUE(entry_applies(entry("NotesFrame", "", 0, 0x1), notes, 0x1, engine_pid));
  EXPECT_FALSE(entry_applies(entry("NotesFrame", "", 0, 0x6), notes, 0x1, engine_pid));
  EXPECT_TRUE(entry_applies(entry("NotesFrame", "", 0, 0x6), notes, 0x4, engine_pid));
  EXPECT_FALSE(entry_applies(entry("NotesFrame", "", 0, 0x0), notes, 0x2, engine_pid));
  // The engine's wizard, titled just like the program.
  EXPECT_FALSE(entry_applies(entry("", "*Editor"), window("NotesFrame", "Notes - Editor", engine_pid), 0x1,
                             engine_pid));
}

TEST(CloseApplications, ModesAsActions) {
  EXPECT_EQ(close_action(0), CloseAction::post_close);
  EXPECT_EQ(close_action(1), CloseAction::post_quit);
  EXPECT_EQ(close_action(2), CloseAction::ask);
  EXPECT_EQ(close_action(3), CloseAction::none);
  EXPECT_EQ(close_action(255), CloseAction::none);
  EXPECT_TRUE(brings_forward(CloseAction::post_close));
  EXPECT_TRUE(brings_forward(CloseAction::post_quit));
  EXPECT_FALSE(brings_forward(CloseAction::ask));
}

TEST(CloseApplications, PlanTakesFirstApplyingEntryPerWindow) {
  const std::vector<CloseApplication> entries = {
      entry("NotesFrame", "", 2, 0x2),       // 0: another phase, skipped in phase 1
      entry("", "*Editor", 1, 0x1),          // 1
      entry("NotesFrame", "", 0, 0x1),       // 2: also fits window 1, but entry 1 came first
      entry("Viewer", "", 7, 0x1),           // 3: unknown mode: decides, does nothing
      entry("Viewer", "", 0, 0x1),           // 4: never reached for a Viewer
      entry("Paint", "Paint", 2, 0x1),       // 5
  };
  const std::vector<WindowDescription> windows = {
      window("NotesFrame", "Notes"),                    // 0: entry 2
      window("NotesFrame", "Notes - Editor"),           // 1: entry 1
      window("NotesFrame", "Notes", engine_pid),        // 2: the engine's own
      window("Viewer", "Picture"),                      // 3: entry 3, no action
      window("Other", "Other"),                         // 4: nothing
      window("Paint", "Paint"),                         // 5: entry 5
  };
  const std::vector<CloseStep> expected = {
      {0, 2, CloseAction::post_close},
      {1, 1, CloseAction::post_quit},
      {5, 5, CloseAction::ask},
  };
  EXPECT_EQ(plan_closing(entries, windows, 0x1, engine_pid), expected);

  // Before uninstallation only entry 0 is live.
  const std::vector<CloseStep> uninstall = {{0, 0, CloseAction::ask}, {1, 0, CloseAction::ask}};
  EXPECT_EQ(plan_closing(entries, windows, 0x2, engine_pid), uninstall);
  EXPECT_TRUE(plan_closing(entries, windows, 0x4, engine_pid).empty());
  EXPECT_TRUE(plan_closing({}, windows, 0x1, engine_pid).empty());
}

TEST(CloseApplications, WalkNeededOnlyForEntriesOfThePhase) {
  EXPECT_FALSE(has_entries_for_phase({}, 0x1));
  const std::vector<CloseApplication> entries = {entry("A", "", 0, 0x2), entry("B", "", 0, 0x4)};
  EXPECT_FALSE(has_entries_for_phase(entries, 0x1));
  EXPECT_TRUE(has_entries_for_phase(entries, 0x2));
  EXPECT_TRUE(has_entries_for_phase(entries, 0x4));
}

TEST(CloseApplications, UninstallDataKeepsOnlyUninstallEntriesInOrder) {
  std::vector<CloseApplication> entries = {entry("A", "", 0, 0x1), entry("B", "", 0, 0x2), entry("C", "", 0, 0x5),
                                           entry("D", "", 0, 0x7), entry("E", "", 0, 0x0)};
  keep_uninstall_entries(entries);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].window_class, "B");
  EXPECT_EQ(entries[1].window_class, "D");
}

InstallSettings settings_with(std::string question, bool uninstall = false) {
  InstallSettings s;
  s.ProductName = "Wren %s Pad";
  s.ProductDescription = "a <product> pad";
  s.UninstallMode = uninstall;
  s.LanguageNames = {"English"};
  s.Messages.assign(100, std::vector<std::string>{""});
  s.Messages[55][0] = "<product> Uninstall";
  s.Messages[65][0] = "<product> Setup";
  s.Messages[99][0] = std::move(question);
  return s;
}

TEST(CloseApplications, QuestionTextInsertsNameAndReplacesTags) {
  struct Case {
    const char* name;
    std::string message99;
    std::string app;
    std::string expected;
  } cases[] = {
      {"name at its placeholder", "Please close %s before <PRODUCT> goes on.", "Notes",
       "Please close Notes before Wren %s Pad goes on."},
      // Tags in the name stay as they are, and a "%s" brought in by a tag is no placeholder.
      {"tag-like name", "<product>: close %s on <os>.", "<description>", "Wren %s Pad: close <description> on OS."},
      {"second placeholder stays", "%s and %s", "Notes", "Notes and %s"},
      {"no placeholder", "Close the programs of <product>.", "Notes", "Close the programs of Wren %s Pad."},
      {"empty text", "", "Notes", "Notes"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(close_question_text(settings_with(c.message99), c.app, "OS"), c.expected) << c.name;
  }
}

TEST(CloseApplications, QuestionTitlePerRunMode) {
  EXPECT_EQ(close_question_title(settings_with("q"), "OS"), "Wren %s Pad Setup");
  EXPECT_EQ(close_question_title(settings_with("q", true), "OS"), "Wren %s Pad Uninstall");
  InstallSettings no_table;
  EXPECT_EQ(close_question_title(no_table, "OS"), "");
  EXPECT_EQ(close_question_text(no_table, "Notes", "OS"), "Notes");
}

}  // namespace
}  // namespace halvard
