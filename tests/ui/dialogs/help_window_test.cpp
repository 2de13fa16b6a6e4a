#include "ui/dialogs/help_window.h"

#include <gtest/gtest.h>

#include <QTextBrowser>

#include "dialog_test_support.h"

namespace tolmar::ui {
namespace {

TEST(HelpWindow, ShowsTheTopicPageInstalledBesideTheProgram) {
  HelpWindow help(TOLMAR_HELP_DIR);
  EXPECT_TRUE(help.showTopic("clickparams"));
  EXPECT_TRUE(help.isVisible());
  EXPECT_TRUE(help.browser()->toPlainText().contains("Relative Amplitude"));
  test::screenshot(&help, "help_clickparams");
}

TEST(HelpWindow, AMissingPageSaysWhichPageIsMissing) {
  HelpWindow help(TOLMAR_HELP_DIR);
  EXPECT_FALSE(help.showTopic("nosuchtopic"));
  const QString text = help.browser()->toPlainText();
  EXPECT_TRUE(text.contains("Help page not found"));
  EXPECT_TRUE(text.contains("nosuchtopic.html"));
}

}  // namespace
}  // namespace tolmar::ui

namespace tolmar::ui {
namespace {

TEST(HelpWindow, EveryTopicTheDialogsOpenHasAPage) {
  HelpWindow help(TOLMAR_HELP_DIR);
  for (const char* topic :
       {"clickparams", "setinsertionlength", "selectreplacementdata", "partialfade",
        "optionsoperationstab", "optionssplittab", "setprecision", "compatblockparams",
        "optionsfilestab", "optionsinterfacetab", "optionsplayrectab", "optionscolourstab",
        "optionsshortcutstab", "macrosetup", "batchmode", "reducenoise", "reducecrackle",
        "configuresoundcard"})
    EXPECT_TRUE(help.showTopic(topic)) << topic;
}

}  // namespace
}  // namespace tolmar::ui
