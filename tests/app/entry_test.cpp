// The program's entry, run as a process: usage text, exit codes, start-up failure.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "process.h"

namespace {

using testing_support::RunProgram;

const std::string kUsage = "USAGE : vidmill.exe [-i] <input avi file name> [-o <output wmv file name>]\r\n";

class Usage : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(Usage, IsPrintedWhenNoInputIsNamed) {
  std::vector<std::string> argv{VIDMILL};
  for (const std::string& arg : GetParam()) argv.push_back(arg);
  const auto result = RunProgram(argv, "unread input\n");
  EXPECT_EQ(result.out, kUsage);
  EXPECT_EQ(result.err, "");
  EXPECT_TRUE(result.Exited(255)) << "status " << result.status;
  EXPECT_EQ(result.stdinOffset, 0) << "nothing is read from standard input";
}

INSTANTIATE_TEST_SUITE_P(CommandLines, Usage,
                         ::testing::Values(std::vector<std::string>{}, std::vector<std::string>{"-i"},
                                           std::vector<std::string>{"-o", "-i", "-d"},
                                           std::vector<std::string>{"-o", "out.wmv"},
                                           std::vector<std::string>{"-x", "clip.avi"},
                                           std::vector<std::string>{"-i", "-clip.avi"}));

TEST(StartUp, AFailingFrameworkInitialisationPrintsItsMessageAndExitsOne) {
  // Shift-JIS bytes of the message, then CR LF from the text-mode stream.
  const std::string message =
      "\x92\x76\x96\xbd\x93\x49\x82\xc8\x83\x47\x83\x89\x81\x5b\x20\x3a\x20\x4d\x46\x43\x20\x82\xcc\x8f\x89"
      "\x8a\xfa\x89\xbb\x82\xaa\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd\x81\x42\r\n";
  for (const std::vector<std::string>& args : {std::vector<std::string>{}, std::vector<std::string>{"clip.avi"}}) {
    std::vector<std::string> argv{VIDMILL_INIT_FAILS};
    argv.insert(argv.end(), args.begin(), args.end());
    const auto result = RunProgram(argv, "unread\n");
    EXPECT_EQ(result.out, message) << "no usage text, no conversion";
    EXPECT_TRUE(result.Exited(1)) << "status " << result.status;
    EXPECT_EQ(result.stdinOffset, 0);
  }
}

// With the scripted graph in place of the media framework, the entry's conversion is observable.
struct Conversion {
  std::vector<std::string> args;
  std::string report;  // what the graph saw: source, output, and COM's state afterwards
};

void PrintTo(const Conversion& c, std::ostream* os) {
  for (const std::string& arg : c.args) *os << arg << " ";
}

class EntryConversion : public ::testing::TestWithParam<Conversion> {};

TEST_P(EntryConversion, ConvertsTheNamedInputInsideCom) {
  std::vector<std::string> argv{VIDMILL_TEST_GRAPH};
  for (const std::string& arg : GetParam().args) argv.push_back(arg);
  const auto result = RunProgram(argv);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, GetParam().report);
  EXPECT_TRUE(result.Exited(0)) << "status " << result.status;
}

INSTANTIATE_TEST_SUITE_P(
    Names, EntryConversion,
    ::testing::Values(Conversion{{"clip.avi"}, "source=clip.avi output=clip.avi.wmv stops=1 com-left-initialised=no\n"},
                      Conversion{{"a.avi", "b.avi"}, "source=b.avi output=a.avi.wmv stops=1 com-left-initialised=no\n"},
                      Conversion{{"-O", "out.wmv", "-I", "clip.avi"},
                                 "source=clip.avi output=out.wmv stops=1 com-left-initialised=no\n"}));

}  // namespace
