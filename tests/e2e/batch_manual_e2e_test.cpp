#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "support/run_batch.h"

namespace {

using tolmar::test::runBatch;

std::string manualText() {
  std::ifstream in(TOLMAR_MAN_PAGE);
  std::ostringstream s;
  s << in.rdbuf();
  // roff writes a hyphen that must not break as "\-".
  return std::regex_replace(s.str(), std::regex(R"(\\-)"), "-");
}

std::set<std::string> optionsIn(const std::string& text) {
  std::set<std::string> found;
  const std::regex option(R"((^|[^A-Za-z0-9-])(--[a-z][a-z-]*[a-z]))");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), option);
       it != std::sregex_iterator(); ++it)
    found.insert((*it)[2]);
  return found;
}

// The manual is written by hand: it must name exactly the options the program's own usage text
// names, and carry the version the program reports.
TEST(BatchManual, NamesTheOptionsOfTheUsageTextAndTheProgramsVersion) {
  const std::string manual = manualText();
  ASSERT_FALSE(manual.empty()) << "share/man/tolmar-batch.1 is missing";
  const auto help = runBatch("--help");
  ASSERT_EQ(help.status, 0) << help.err;

  const std::set<std::string> inHelp = optionsIn(help.out), inManual = optionsIn(manual);
  EXPECT_GE(inHelp.size(), 12u) << help.out;
  EXPECT_EQ(inManual, inHelp);

  const auto version = runBatch("--version");
  ASSERT_EQ(version.status, 0);
  std::smatch m;
  const std::string out = version.out;
  ASSERT_TRUE(std::regex_search(out, m, std::regex(R"(tolmar-batch (\S+))"))) << out;
  EXPECT_NE(manual.find("\"Tolmar " + m[1].str() + "\""), std::string::npos)
      << "the manual's title line does not carry version " << m[1];
  // Each option has its own entry, not only a mention in the synopsis.
  for (const std::string& o : inHelp)
    EXPECT_TRUE(std::regex_search(manual, std::regex("\n\\.TP\n\\.B[IR]? " + o + "[ \n]"))) << o;
}

}  // namespace
