// The fuzz target's road through the graph, in every build: the files of its starting corpus convert
// (so the fuzzer starts from inputs that reach every stage), and each input the fuzzer once broke the
// engine with now ends cleanly: a report, or a file ffprobe reads; nothing left behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "graph_input.h"
#include "media_tools.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

graph_input::Outcome Convert(const std::string& bytes) {
  graph_input::Options options;
  options.keepOutput = true;
  options.maxRunSeconds = 60;  // long enough for any of these to complete
  return graph_input::ConvertBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), options);
}

std::vector<fs::path> FilesIn(const fs::path& folder) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.is_regular_file()) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

TEST(FuzzCorpus, EveryFileConvertsThroughTheWholeGraph) {
  TempDir dir;
  const auto made = media_testing::Shell(std::string(MAKE_CORPUS) + " " + media_testing::Quoted(dir / "corpus"));
  ASSERT_EQ(made.status, 0) << made.output;
  const auto files = FilesIn(dir.path() / "corpus");
  ASSERT_GE(files.size(), 5u);
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.filename().string());
    const graph_input::Outcome outcome = Convert(ReadFile(file.string()));
    EXPECT_EQ(outcome.failedStep, "") << std::hex << outcome.status;
    EXPECT_FALSE(outcome.stoppedEarly);
    EXPECT_FALSE(outcome.leftovers);
    WriteFile(dir / "out.wmv", outcome.output);
    const auto probed = media_testing::Probe(dir / "out.wmv");
    EXPECT_EQ(probed.formatName, "asf");
    EXPECT_EQ(probed.Count("video"), 1);
    EXPECT_EQ(probed.Count("audio"), 1);
  }
}

TEST(FuzzRegressions, EachInputEndsInAReportOrAReadableFile) {
  TempDir dir;
  const auto files = FilesIn(REGRESSIONS);
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.filename().string());
    const graph_input::Outcome outcome = Convert(ReadFile(file.string()));
    EXPECT_FALSE(outcome.leftovers);
    if (!outcome.failedStep.empty()) {
      EXPECT_LT(outcome.status, 0) << outcome.failedStep;
      continue;
    }
    WriteFile(dir / "out.wmv", outcome.output);
    EXPECT_TRUE(media_testing::Probe(dir / "out.wmv").ok) << "the output of a run that succeeded is readable";
  }
}

}  // namespace
