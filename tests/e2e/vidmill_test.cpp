// The vidmill program converting real files: what it prints, how it exits, what it leaves behind.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "media_tools.h"
#include "process.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;
using media_testing::MakeMedia;
using media_testing::Probe;
using testing_support::RunProgram;
using testing_support::TempDir;

const std::string kVidmill = VIDMILL;

// Audio and video sources of a given length, for ffmpeg.
std::string Sources(double seconds, const std::string& size = "320x240") {
  const std::string d = std::to_string(seconds);
  return "-f lavfi -i testsrc2=size=" + size + ":rate=30:duration=" + d +
         " -f lavfi -i sine=frequency=440:duration=" + d + " -ac 2";
}

std::set<std::string> FilesIn(const TempDir& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir.path())) names.insert(entry.path().filename().string());
  return names;
}

testing_support::ProcessResult Vidmill(const TempDir& dir, std::vector<std::string> args,
                                       const std::vector<std::string>& env = {}) {
  // Names are given relative to the folder, as a user in it would type them.
  std::string script =
      "cd " + media_testing::Quoted(dir.path().string()) + " && exec " + media_testing::Quoted(kVidmill);
  for (const std::string& arg : args) script += " " + media_testing::Quoted(arg);
  return RunProgram({"/bin/sh", "-c", script}, "\n", env);
}

TEST(Vidmill, ConvertsAnAviAndEndsOnItsLastProgressText) {
  TempDir dir;
  MakeMedia(Sources(2) + " -c:v mpeg4 -q:v 2 -c:a pcm_s16le", dir / "clip.avi");

  const auto result = Vidmill(dir, {"clip.avi"});

  EXPECT_TRUE(result.Exited(0)) << result.out;
  EXPECT_EQ(result.err, "");
  EXPECT_TRUE(std::regex_match(result.out, std::regex("(\\d\\d:\\d\\d:\\d\\d\\.\\d\\d / 00:00:02\\.00 )*")))
      << "only progress texts, one after another: " << result.out;
  EXPECT_EQ(FilesIn(dir), (std::set<std::string>{"clip.avi", "clip.avi.wmv"}));

  const auto probed = Probe(dir / "clip.avi.wmv");
  ASSERT_TRUE(probed.ok);
  EXPECT_EQ(probed.formatName, "asf");
  ASSERT_EQ(probed.Count("video"), 1);
  ASSERT_EQ(probed.Count("audio"), 1);
  EXPECT_EQ(probed.Stream("video")->codecName, "wmv2");
  EXPECT_EQ(probed.Stream("video")->width, 320);
  EXPECT_EQ(probed.Stream("video")->frames, 60);
  EXPECT_EQ(probed.Stream("audio")->codecName, "wmav2");
  EXPECT_NEAR(probed.duration, 2.0, 1.0 / 30);
  EXPECT_EQ(media_testing::DecodeErrors(dir / "clip.avi.wmv"), "");
}

// Each failure through the real framework: its report, exit 255, nothing written.
struct Failure {
  const char* name;
  std::vector<std::string> args;
  std::string report;
};

void PrintTo(const Failure& f, std::ostream* os) { *os << f.name; }

const std::string kAddSource = "FAILED in pGraph->AddSourceFilter(T2W(lpszInFileName), L\"Source Filter\", &pSrc)";
const std::string kSetOutput =
    "FAILED in pBuild->SetOutputFileName(&MEDIASUBTYPE_Asf, T2W(lpszOutFileName), &pAsfWriter, NULL)";
const std::string kRender = "FAILED in pBuild->RenderStream(NULL, NULL, pSrc, NULL, pAsfWriter)";

class Failures : public ::testing::TestWithParam<Failure> {
 protected:
  void SetUp() override {
    MakeMedia(Sources(1) + " -c:v mpeg4 -c:a pcm_s16le", dir_ / "clip.avi");
    MakeMedia("-f lavfi -i testsrc2=size=160x120:rate=25:duration=1 -c:v mpeg4", dir_ / "video-only.avi");
    MakeMedia("-f lavfi -i sine=duration=1 -c:a pcm_s16le", dir_ / "audio-only.wav");
    testing_support::WriteFile(dir_ / "notes.txt", "these are not moving pictures\n");
    ASSERT_EQ(link((dir_ / "clip.avi").c_str(), (dir_ / "same.avi").c_str()), 0);
    fs::create_directory(dir_.path() / "folder");
  }
  TempDir dir_;
};

TEST_P(Failures, AreReportedAndLeaveNothingBehind) {
  const std::set<std::string> before = FilesIn(dir_);
  const std::string input = testing_support::ReadFile(dir_ / "clip.avi");

  const auto result = Vidmill(dir_, GetParam().args);

  EXPECT_EQ(result.out, GetParam().report + "\r\r\n");
  EXPECT_TRUE(result.Exited(255)) << "status " << result.status;
  EXPECT_EQ(result.stdinOffset, 1) << "the report is acknowledged by one character";
  EXPECT_EQ(FilesIn(dir_), before) << "no output, no hidden file";
  EXPECT_EQ(testing_support::ReadFile(dir_ / "clip.avi"), input) << "the input is untouched";
}

INSTANTIATE_TEST_SUITE_P(
    RealFramework, Failures,
    ::testing::Values(
        Failure{"MissingInput", {"missing.avi"}, kAddSource + "! hr=0x80070002"},
        Failure{"MissingInputFolder", {"nowhere/clip.avi"}, kAddSource + "! hr=0x80070003"},
        Failure{"InputIsAFolder", {"folder"}, kAddSource + "! hr=0x80070005"},
        Failure{"NotMedia", {"notes.txt"}, kAddSource + "! hr=0x80040240"},
        Failure{"VideoOnly", {"video-only.avi"}, kRender + "! hr=0x80004005"},
        Failure{"AudioOnly", {"audio-only.wav"}, kRender + "! hr=0x80004005"},
        Failure{"EmptyOutputName", {"clip.avi", "-o", ""}, kSetOutput + "! hr=0x80070057"},
        Failure{"MissingOutputFolder", {"clip.avi", "-o", "nowhere/out.wmv"}, kSetOutput + "! hr=0x80070003"},
        Failure{"OutputIsAFolder", {"clip.avi", "-o", "folder"}, kSetOutput + "! hr=0x80070005"},
        Failure{"OutputIsTheInput", {"clip.avi", "-o", "./clip.avi"}, kSetOutput + "! hr=0x80070020"},
        Failure{"OutputIsAHardLinkOfTheInput", {"clip.avi", "-o", "same.avi"}, kSetOutput + "! hr=0x80070020"}),
    [](const auto& info) { return std::string(info.param.name); });

// The naming rules, seen from the files a run writes.
TEST(Naming, TheOutputComesFromTheFirstInputAndTheConversionFromTheLast) {
  TempDir dir;
  MakeMedia(Sources(1) + " -c:v mpeg4 -c:a pcm_s16le", dir / "a.avi");
  MakeMedia(Sources(3) + " -c:v mpeg4 -c:a pcm_s16le", dir / "b.avi");

  const auto result = Vidmill(dir, {"a.avi", "b.avi"});

  EXPECT_TRUE(result.Exited(0)) << result.out;
  EXPECT_EQ(FilesIn(dir), (std::set<std::string>{"a.avi", "b.avi", "a.avi.wmv"}));
  EXPECT_NEAR(Probe(dir / "a.avi.wmv").duration, 3.0, 0.1) << "converted from b.avi";
}

TEST(Naming, UpperCaseOptionsNameTheOutputAndTheInput) {
  TempDir dir;
  MakeMedia(Sources(1) + " -c:v mpeg4 -c:a pcm_s16le", dir / "clip.avi");
  const auto result = Vidmill(dir, {"-O", "out.wmv", "-I", "clip.avi"});
  EXPECT_TRUE(result.Exited(0)) << result.out;
  EXPECT_EQ(FilesIn(dir), (std::set<std::string>{"clip.avi", "out.wmv"}));
  EXPECT_EQ(Probe(dir / "out.wmv").formatName, "asf");
}

class ForeignNames : public ::testing::TestWithParam<const char*> {};

TEST_P(ForeignNames, ConvertInTheCLocale) {
  TempDir dir;
  const std::string name = GetParam();
  MakeMedia(Sources(1) + " -c:v mpeg4 -c:a pcm_s16le", dir / "clip.avi");
  fs::rename(dir / "clip.avi", dir / name);

  const auto result = Vidmill(dir, {name}, {"LC_ALL=C", "LANG=C"});

  EXPECT_TRUE(result.Exited(0)) << result.out;
  EXPECT_EQ(FilesIn(dir), (std::set<std::string>{name, name + ".wmv"}));
  EXPECT_EQ(Probe(dir / (name + ".wmv")).formatName, "asf");
}

INSTANTIATE_TEST_SUITE_P(Names, ForeignNames,
                         ::testing::Values("\xd0\xba\xd0\xbb\xd0\xb8\xd0\xbf \xc3\xa9\xe6\x98\xa0.avi",  // UTF-8
                                           "latin1-\xe9t\xe9.avi"),                                      // not UTF-8
                         [](const auto& info) {
                           return info.index == 0 ? std::string("Utf8") : std::string("NotUtf8");
                         });

}  // namespace
