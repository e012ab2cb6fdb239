// Conversions that cannot be made fail at the step the program reports, with the framework's status,
// and leave nothing behind: no output, no hidden file, the input as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <ostream>
#include <set>

#include "graph_driver.h"
#include "media_tools.h"
#include "temp_dir.h"

namespace media_testing {
namespace {

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

const std::string kClip =
    "-f lavfi -i testsrc=size=160x120:rate=30:duration=1 -f lavfi -i sine=sample_rate=44100:duration=1 "
    "-c:v mpeg4 -c:a pcm_s16le";

std::set<std::string> Names(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    names.insert(entry.path().lexically_relative(folder));
  return names;
}

struct FailureCase {
  const char* name;
  // Prepares the folder; gives the input and output names to convert.
  std::function<void(const TempDir&, std::string& input, std::string& output)> prepare;
  const char* step;
  HRESULT status;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

const FailureCase kFailures[] = {
    {"MissingInput",
     [](const TempDir& d, std::string& in, std::string& out) {
       in = d / "absent.avi";
       out = d / "absent.avi.wmv";
     },
     kAddSource, static_cast<HRESULT>(0x80070002)},
    {"InputInMissingFolder",
     [](const TempDir& d, std::string& in, std::string& out) {
       in = d / "nowhere/clip.avi";
       out = d / "clip.wmv";
     },
     kAddSource, static_cast<HRESULT>(0x80070003)},
    {"InputIsAFolder",
     [](const TempDir& d, std::string& in, std::string& out) {
       fs::create_directory(d / "folder.avi");
       in = d / "folder.avi";
       out = d / "clip.wmv";
     },
     kAddSource, static_cast<HRESULT>(0x80070005)},
    {"InputNameTooLong",
     [](const TempDir& d, std::string& in, std::string& out) {
       in = d / (std::string(300, 'a') + ".avi");
       out = d / "clip.wmv";
     },
     kAddSource, static_cast<HRESULT>(0x800700CE)},
    {"InputIsFifoWithoutWriter",
     [](const TempDir& d, std::string& in, std::string& out) {
       mkfifo((in = d / "pipe.avi").c_str(), 0600);
       out = d / "clip.wmv";
     },
     kAddSource, static_cast<HRESULT>(0x80040240)},
    {"NotMedia",
     [](const TempDir& d, std::string& in, std::string& out) {
       WriteFile(d / "notes.avi", "These are notes, not a film.\n");
       in = d / "notes.avi";
       out = in + ".wmv";
     },
     kAddSource, static_cast<HRESULT>(0x80040240)},
    {"VideoOnly",
     [](const TempDir& d, std::string& in, std::string& out) {
       MakeMedia("-f lavfi -i testsrc=size=160x120:rate=30:duration=1 -c:v mpeg4", in = d / "video.avi");
       out = in + ".wmv";
     },
     kRender2, E_FAIL},
    {"AudioOnly",
     [](const TempDir& d, std::string& in, std::string& out) {
       MakeMedia("-f lavfi -i sine=sample_rate=44100:duration=1 -c:a pcm_s16le", in = d / "audio.avi");
       out = in + ".wmv";
     },
     kRender2, E_FAIL},
    {"EmptyOutputName",
     [](const TempDir& d, std::string& in, std::string& out) {
       MakeMedia(kClip, in = d / "clip.avi");
       out = "";
     },
     kSetOutput, E_INVALIDARG},
    {"OutputFolderMissing",
     [](const TempDir& d, std::string& in, std::string& out) {
       MakeMedia(kClip, in = d / "clip.avi");
       out = d / "missing/out.wmv";
     },
     kSetOutput, static_cast<HRESULT>(0x80070003)},
    {"OutputIsAFolder",
     [](const TempDir& d, std::string& in, std::string& out) {
       MakeMedia(kClip, in = d / "clip.avi");
       fs::create_directory(out = d / "out.wmv");
     },
     kSetOutput, static_cast<HRESULT>(0x80070005)},
    {"OutputNameTooLong",
     [](const TempDir& d, std::string& in, std::string& out) {
       MakeMedia(kClip, in = d / "clip.avi");
       out = d / (std::string(300, 'o') + ".wmv");
     },
     kSetOutput, static_cast<HRESULT>(0x800700CE)},
    {"OutputIsInputUnderAnotherName",
     [](const TempDir& d, std::string& in, std::string& out) {
       fs::create_directory(d / "sub");
       MakeMedia(kClip, in = d / "clip.avi");
       out = d / "sub/../clip.avi";
     },
     kSetOutput, static_cast<HRESULT>(0x80070020)},
    {"OutputIsHardLinkOfInput",
     [](const TempDir& d, std::string& in, std::string& out) {
       MakeMedia(kClip, in = d / "clip.avi");
       fs::create_hard_link(in, out = d / "link.wmv");
     },
     kSetOutput, static_cast<HRESULT>(0x80070020)},
    {"OutputIsSymlinkToInput",
     [](const TempDir& d, std::string& in, std::string& out) {
       MakeMedia(kClip, in = d / "clip.avi");
       fs::create_symlink("clip.avi", out = d / "link.wmv");
     },
     kSetOutput, static_cast<HRESULT>(0x80070020)},
};

class ConversionFails : public ::testing::TestWithParam<FailureCase> {};

TEST_P(ConversionFails, AtItsStepWithItsStatusLeavingNothingBehind) {
  const FailureCase& c = GetParam();
  TempDir dir;
  std::string input, output;
  c.prepare(dir, input, output);
  const std::set<std::string> before = Names(dir.path());
  std::error_code ignored;
  const std::string inputBytes = fs::is_regular_file(input, ignored) ? ReadFile(input) : "";

  const DriveResult run = DriveConversion(input, output);
  EXPECT_EQ(run.failedStep, c.step);
  EXPECT_EQ(run.status, c.status) << std::hex << run.status;

  EXPECT_EQ(Names(dir.path()), before);
  if (!inputBytes.empty()) {
    EXPECT_EQ(ReadFile(input), inputBytes);
  }
}

INSTANTIATE_TEST_SUITE_P(Inputs, ConversionFails, ::testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

// A stream FFmpeg has no decoder for is passed over: the first rendering call connects the audio, the
// second finds only the video left and says it cannot be rendered.
TEST(ConversionFailsToRender, UndecodableVideoIsCannotRender) {
  TempDir dir;
  const std::string input = dir / "unknown.avi";
  MakeMedia(kClip, input);
  std::string bytes = ReadFile(input);
  for (auto at = bytes.find("FMP4"); at != std::string::npos; at = bytes.find("FMP4", at)) bytes.replace(at, 4, "ZZZZ");
  WriteFile(input, bytes);

  const DriveResult run = DriveConversion(input, input + ".wmv");
  EXPECT_EQ(run.failedStep, kRender2);
  EXPECT_EQ(run.status, VFW_E_CANNOT_RENDER) << std::hex << run.status;
  EXPECT_FALSE(fs::exists(input + ".wmv"));
}

}  // namespace
}  // namespace media_testing
