// The input is only ever read, from the file that was opened: renamed, replaced by another file or
// deleted while the conversion reads it, the conversion goes on to the end of what it opened, and no
// file's bytes change.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>

#include "fault_tools.h"
#include "media_tools.h"

namespace faults {
namespace {

namespace fs = std::filesystem;
using testing_support::PtyProcess;
using testing_support::ReadFile;
using testing_support::TempDir;

struct Change {
  const char* name;
  // Done to dir/clip.avi mid-run; `other` is a different media file to use.
  std::function<void(const TempDir& dir, const std::string& other)> apply;
  // Where the original bytes can still be read afterwards, relative to the folder; "" for nowhere.
  const char* originalAt;
};

void PrintTo(const Change& c, std::ostream* os) { *os << c.name; }

class InputChanged : public ::testing::TestWithParam<Change> {};

TEST_P(InputChanged, TheConversionGoesOnFromTheOpenFile) {
  TempDir dir;
  fs::copy_file(LongClip(), dir / "clip.avi");
  // The original file stays reachable under a second name, to show that its bytes never change.
  ASSERT_EQ(link((dir / "clip.avi").c_str(), (dir / "original.link").c_str()), 0);
  const std::string original = ReadFile(dir / "clip.avi");
  const std::string other = dir / "other.avi";
  media_testing::MakeMedia(
      "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 -f lavfi -i sine=duration=2 -c:v mpeg4 -c:a pcm_s16le",
      other);
  const std::string otherBytes = ReadFile(other);

  PtyProcess program(VidmillIn(dir, {"clip.avi"}));
  ASSERT_TRUE(WaitForPosition(program, 2)) << program.output();
  const std::vector<int> flags = OpenFlagsOn(program.pid(), dir / "clip.avi");
  ASSERT_FALSE(flags.empty()) << "the program holds the input open";
  for (int f : flags) {
    EXPECT_EQ(f & O_ACCMODE, O_RDONLY) << "the input is opened for reading only";
    EXPECT_NE(f & O_CLOEXEC, 0) << "and not handed to programs it might start";
  }
  GetParam().apply(dir, other);
  siginfo_t exited{};
  ASSERT_EQ(waitid(P_PID, static_cast<id_t>(program.pid()), &exited, WEXITED | WNOHANG | WNOWAIT), 0);
  EXPECT_EQ(exited.si_pid, 0) << "the change came while the conversion ran";
  program.ReadToEnd();
  const int status = program.Wait();
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status << "\n" << program.output();

  // The whole of the file that was opened, not what its name holds now.
  const std::string output = dir / "clip.avi.wmv";
  const auto probed = media_testing::Probe(output);
  ASSERT_TRUE(probed.ok);
  ASSERT_EQ(probed.Count("video"), 1);
  EXPECT_EQ(probed.Stream("video")->width, 640);
  EXPECT_EQ(probed.Stream("video")->frames, static_cast<long>(kLongClipSeconds * 30));
  EXPECT_NEAR(probed.duration, kLongClipSeconds, 0.1);
  EXPECT_EQ(media_testing::DecodeErrors(output), "");

  EXPECT_TRUE(ReadFile(dir / "original.link") == original) << "the opened file is never written to";
  if (*GetParam().originalAt) {
    EXPECT_TRUE(ReadFile(dir / GetParam().originalAt) == original);
  }
  EXPECT_TRUE(ReadFile(other) == otherBytes);
  if (std::string(GetParam().name) == "ReplacedByAnotherFile") {
    EXPECT_TRUE(ReadFile(dir / "clip.avi") == otherBytes) << "the file now at the name is left alone";
  }
}

INSTANTIATE_TEST_SUITE_P(
    MidRun, InputChanged,
    ::testing::Values(
        Change{"Renamed", [](const TempDir& d, const std::string&) { fs::rename(d / "clip.avi", d / "moved.avi"); },
               "moved.avi"},
        Change{"ReplacedByAnotherFile",
               [](const TempDir& d, const std::string& other) {
                 fs::copy_file(other, d / "replacement.avi");
                 fs::rename(d / "replacement.avi", d / "clip.avi");
               },
               ""},
        Change{"Deleted", [](const TempDir& d, const std::string&) { fs::remove(d / "clip.avi"); }, ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace faults
