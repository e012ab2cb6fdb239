#include "app/convert_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The pending option lives for the whole process; a value clears it.
void ClearPendingOption() {
  CConvertOptions scratch;
  scratch.ParseParam("scratch", false);
}

CConvertOptions Parse(std::vector<std::string> args) {
  ClearPendingOption();
  std::vector<char*> argv{const_cast<char*>("vidmill")};
  for (std::string& arg : args) argv.push_back(arg.data());
  CConvertOptions options;
  EXPECT_TRUE(options.ParseCommandLine(static_cast<int>(argv.size()), argv.data()));
  return options;
}

struct Row {
  std::vector<std::string> args;
  std::string in;
  std::string out;
};

void PrintTo(const Row& row, std::ostream* os) {
  *os << "args:";
  for (const std::string& arg : row.args) *os << " [" << arg << "]";
}

class CommandLine : public ::testing::TestWithParam<Row> {};

TEST_P(CommandLine, GivesTheNamesOfOneConversion) {
  const Row& row = GetParam();
  const CConvertOptions options = Parse(row.args);
  EXPECT_EQ(std::string(options.m_strInFileName), row.in);
  EXPECT_EQ(std::string(options.m_strOutFileName), row.out);
}

INSTANTIATE_TEST_SUITE_P(Table, CommandLine,
                         ::testing::Values(Row{{}, "", ""},                                            //
                                           Row{{"clip.avi"}, "clip.avi", "clip.avi.wmv"},              //
                                           Row{{"-i", "clip.avi"}, "clip.avi", "clip.avi.wmv"},        //
                                           Row{{"clip.avi", "-o", "out.wmv"}, "clip.avi", "out.wmv"},  //
                                           Row{{"-o", "out.wmv", "clip.avi"}, "clip.avi", "out.wmv"},  //
                                           Row{{"-O", "out.wmv", "-I", "clip.avi"}, "clip.avi", "out.wmv"},
                                           Row{{"a.avi", "b.avi"}, "b.avi", "a.avi.wmv"},        //
                                           Row{{"-x", "clip.avi"}, "", ""},                      //
                                           Row{{"-d", "clip.avi"}, "clip.avi", "clip.avi.wmv"},  //
                                           Row{{"-D", "clip.avi"}, "clip.avi", "clip.avi.wmv"},  //
                                           Row{{"-o", "-i", "clip.avi"}, "clip.avi", "clip.avi.wmv"},
                                           Row{{"clip.avi", "-o"}, "clip.avi", "clip.avi.wmv"},  //
                                           Row{{"-", "clip.avi"}, "clip.avi", "clip.avi.wmv"},   //
                                           Row{{"--o", "out.wmv", "clip.avi"}, "clip.avi", "clip.avi.wmv"},
                                           Row{{"-i", "-clip.avi"}, "", ""},             //
                                           Row{{"clip.avi", "-o", ""}, "clip.avi", ""},  //
                                           Row{{"-o", "", "clip.avi"}, "clip.avi", "clip.avi.wmv"},
                                           Row{{"", "clip.avi"}, "clip.avi", ".wmv"},  //
                                           Row{{"-o", "out1.wmv", "out2.wmv"}, "out2.wmv", "out1.wmv"},
                                           Row{{"/o", "x.avi"}, "x.avi", "/o.wmv"},          // a slash is no option
                                           Row{{"CLIP.AVI"}, "CLIP.AVI", "CLIP.AVI.wmv"},    // names keep their case
                                           Row{{"clip.wmv"}, "clip.wmv", "clip.wmv.wmv"}));  // no extension replaced

TEST(PendingOption, LivesAcrossCallsAndRecords) {
  ClearPendingOption();
  CConvertOptions first;
  first.ParseParam("o", true);

  CConvertOptions second;
  second.ParseParam("out.wmv", false);
  EXPECT_EQ(std::string(second.m_strOutFileName), "out.wmv") << "the option given to the first record applies";
  EXPECT_TRUE(second.m_strInFileName.IsEmpty());

  second.ParseParam("clip.avi", false);
  EXPECT_EQ(std::string(second.m_strInFileName), "clip.avi") << "an option applies to exactly one value";
}

TEST(PendingOption, ATrailingOptionStaysPendingForTheNextCommandLine) {
  Parse({"clip.avi", "-o"});
  CConvertOptions next;
  char program[] = "vidmill", value[] = "out.wmv";
  char* argv[] = {program, value};
  next.ParseCommandLine(2, argv);
  EXPECT_EQ(std::string(next.m_strOutFileName), "out.wmv");
  EXPECT_TRUE(next.m_strInFileName.IsEmpty());
}

}  // namespace
