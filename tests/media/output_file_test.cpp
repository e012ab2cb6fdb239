// The output name holds what it held before or a complete ASF file: a hidden file is written and renamed
// into place by Stop(); stopping early finalizes what was written; failures leave the old file and no
// hidden file; pipes and devices are written directly and stay what they are.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "graph_driver.h"
#include "media_tools.h"
#include "temp_dir.h"

namespace media_testing {
namespace {

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

std::string Clip(const TempDir& dir, int seconds) {
  const std::string input = dir / "clip.avi";
  const std::string length = std::to_string(seconds);
  MakeMedia("-f lavfi -i testsrc=size=160x120:rate=30:duration=" + length +
                " -f lavfi -i sine=sample_rate=44100:duration=" + length + " -c:v mpeg4 -c:a pcm_s16le",
            input);
  return input;
}

// Names in the folder that start with a dot: the writer's hidden files.
int HiddenFiles(const TempDir& dir) {
  int n = 0;
  for (const auto& entry : fs::directory_iterator(dir.path())) n += entry.path().filename().string()[0] == '.';
  return n;
}

TEST(OutputFile, StopInMidRunLeavesFinalizedFileOfWhatWasWritten) {
  TempDir dir;
  const std::string input = Clip(dir, 6);
  const std::string output = dir / "out.wmv";
  DriveOptions options;
  options.removeClock = false;  // paced to real time, so the run is still going when it is stopped
  options.stopEarly = [](double seconds) { return seconds >= 1.5; };
  const DriveResult run = DriveConversion(input, output, options);
  ASSERT_EQ(run.failedStep, "") << std::hex << run.status;
  EXPECT_EQ(run.waitStatus, E_ABORT);

  const ProbedFile out = Probe(output);
  ASSERT_TRUE(out.ok);
  EXPECT_EQ(out.formatName, "asf");
  EXPECT_EQ(out.Count("video"), 1);
  EXPECT_EQ(out.Count("audio"), 1);
  const double written = run.positions.back() / 1e7;
  EXPECT_GT(written, 1.0);
  EXPECT_LT(written, 3.0);
  EXPECT_NEAR(out.duration, written, 0.1);
  EXPECT_EQ(DecodeErrors(output), "");
  EXPECT_EQ(HiddenFiles(dir), 0);
}

TEST(OutputFile, ExistingFileIsReplacedOnlyByTheCompleteFile) {
  TempDir dir;
  const std::string input = Clip(dir, 2);
  const std::string output = dir / "out.wmv";
  WriteFile(output, "previous contents");
  bool checked = false;
  DriveOptions options;
  options.removeClock = false;
  options.stopEarly = [&](double seconds) {
    if (!checked && seconds >= 0.5) {
      checked = true;
      EXPECT_EQ(ReadFile(output), "previous contents");
      EXPECT_EQ(HiddenFiles(dir), 1);
    }
    return false;
  };
  const DriveResult run = DriveConversion(input, output, options);
  ASSERT_EQ(run.failedStep, "") << std::hex << run.status;
  EXPECT_TRUE(checked);
  EXPECT_EQ(run.eventCode, EC_COMPLETE);
  EXPECT_EQ(Probe(output).formatName, "asf");
  EXPECT_EQ(HiddenFiles(dir), 0);
}

TEST(OutputFile, FailureWhileStreamingLeavesExistingFileAndNoHiddenFile) {
  TempDir dir;
  const std::string input = Clip(dir, 2);
  const std::string output = dir / "out.wmv";
  WriteFile(output, "previous contents");

  // Files may not grow past 16 KiB for the span of the run: writing the output fails part way.
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 16 * 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const DriveResult run = DriveConversion(input, output);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, oldHandler);

  EXPECT_EQ(run.eventCode, EC_ERRORABORT);
  EXPECT_TRUE(FAILED(run.waitStatus));
  EXPECT_EQ(run.failedStep, kStop);  // Stop() reports that the file could not be finished
  EXPECT_EQ(run.status, run.waitStatus);
  EXPECT_EQ(ReadFile(output), "previous contents");
  EXPECT_EQ(HiddenFiles(dir), 0);
}

TEST(OutputFile, FullDeviceFailsWithDiskFull) {
  TempDir dir;
  const std::string input = Clip(dir, 1);
  const DriveResult run = DriveConversion(input, "/dev/full");
  EXPECT_EQ(run.eventCode, EC_ERRORABORT);
  EXPECT_EQ(run.waitStatus, static_cast<HRESULT>(0x80070070)) << std::hex << run.waitStatus;
  EXPECT_EQ(run.failedStep, kStop);
  EXPECT_EQ(run.status, static_cast<HRESULT>(0x80070070));
}

TEST(OutputFile, DevNullIsWrittenAndStaysACharacterDevice) {
  TempDir dir;
  const std::string input = Clip(dir, 1);
  const DriveResult run = DriveConversion(input, "/dev/null");
  ASSERT_EQ(run.failedStep, "") << std::hex << run.status;
  EXPECT_EQ(run.eventCode, EC_COMPLETE);
  struct stat st {};
  ASSERT_EQ(stat("/dev/null", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
}

TEST(OutputFile, FifoGetsStreamableAsf) {
  TempDir dir;
  const std::string input = Clip(dir, 1);
  const std::string fifo = dir / "pipe.wmv";
  const std::string copy = dir / "copy.wmv";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // The reader comes after Run(): the writer waits for it instead of holding up Run().
  std::thread reader([&] { Shell("sleep 0.3; cat " + Quoted(fifo) + " > " + Quoted(copy)); });
  const DriveResult run = DriveConversion(input, fifo);
  reader.join();
  ASSERT_EQ(run.failedStep, "") << std::hex << run.status;
  EXPECT_EQ(run.eventCode, EC_COMPLETE);
  EXPECT_TRUE(fs::is_fifo(fifo));
  const ProbedFile out = Probe(copy);
  EXPECT_EQ(out.formatName, "asf");
  ASSERT_EQ(out.Count("video"), 1);
  EXPECT_EQ(out.Count("audio"), 1);
  EXPECT_EQ(out.Stream("video")->frames, 30);
  EXPECT_EQ(DecodeErrors(copy), "");
}

TEST(OutputFile, FifoNobodyReadsHoldsUpNeitherRunNorStop) {
  TempDir dir;
  const std::string input = Clip(dir, 1);
  const std::string fifo = dir / "pipe.wmv";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  DriveOptions options;
  options.stopEarly = [](double seconds) { return seconds >= 0.3; };
  const auto start = std::chrono::steady_clock::now();
  const DriveResult run = DriveConversion(input, fifo, options);
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 3.0);
  EXPECT_EQ(run.failedStep, "") << std::hex << run.status;
  EXPECT_EQ(run.waitStatus, E_ABORT);
  EXPECT_TRUE(fs::is_fifo(fifo));
}

TEST(OutputFile, ReaderThatStopsReadingCannotKeepTheGraphFromStopping) {
  TempDir dir;
  const std::string input = dir / "clip.avi";
  MakeMedia(
      "-f lavfi -i testsrc=size=320x240:rate=30:duration=4 -f lavfi -i sine=sample_rate=44100:duration=4 "
      "-c:v mpeg4 -q:v 2 -c:a pcm_s16le",
      input);
  const std::string fifo = dir / "pipe.wmv";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);  // opened, never read
  ASSERT_GE(reader, 0);
  DriveOptions options;
  options.stopEarly = [](double seconds) { return seconds >= 0.5; };
  const auto start = std::chrono::steady_clock::now();
  const DriveResult run = DriveConversion(input, fifo, options);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  close(reader);
  EXPECT_LT(seconds, 20.0);
  EXPECT_EQ(run.waitStatus, E_ABORT);  // still writing when stopped
  EXPECT_EQ(run.failedStep, kStop);    // the rest could not be delivered
  EXPECT_EQ(run.status, E_FAIL);
}

// Names reach the file system as the very bytes they were: UTF-8 text, and bytes that are no text at
// all (carried through UTF-16 as lone surrogates).
TEST(OutputFile, NamesReachTheFileSystemByteForByte) {
  TempDir dir;
  const std::string clip = Clip(dir, 1);
  for (const std::string name : {"clip \xC3\xA9t\xC3\xA9.avi", "clip \xFF\xFE.avi"}) {
    const std::string input = dir / name;
    fs::copy_file(clip, input);
    const DriveResult run = DriveConversion(input, input + ".wmv");
    ASSERT_EQ(run.failedStep, "") << std::hex << run.status;
    EXPECT_EQ(Probe(input + ".wmv").formatName, "asf") << name;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 5);
}

TEST(OutputFile, NewFileGetsTheUsualPermissionsAndAReplacedOneKeepsItsOwn) {
  TempDir dir;
  const std::string input = Clip(dir, 1);
  const mode_t mask = umask(022);
  const std::string fresh = dir / "fresh.wmv";
  const std::string kept = dir / "kept.wmv";
  WriteFile(kept, "previous contents");
  chmod(kept.c_str(), 0640);
  const DriveResult first = DriveConversion(input, fresh);
  const DriveResult second = DriveConversion(input, kept);
  umask(mask);
  ASSERT_EQ(first.failedStep, "");
  ASSERT_EQ(second.failedStep, "");
  struct stat st {};
  ASSERT_EQ(stat(fresh.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
  ASSERT_EQ(stat(kept.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(Probe(kept).formatName, "asf");
}

TEST(OutputFile, SymbolicLinkKeepsPointingAtTheReplacedFile) {
  TempDir dir;
  const std::string input = Clip(dir, 1);
  fs::create_directory(dir / "store");
  const std::string target = dir / "store/real.wmv";
  WriteFile(target, "previous contents");
  const std::string link = dir / "out.wmv";
  fs::create_symlink("store/real.wmv", link);
  const DriveResult run = DriveConversion(input, link);
  ASSERT_EQ(run.failedStep, "") << std::hex << run.status;
  ASSERT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(fs::read_symlink(link), "store/real.wmv");
  EXPECT_EQ(Probe(target).formatName, "asf");
  for (const auto& entry : fs::directory_iterator(dir / "store")) EXPECT_EQ(entry.path().filename(), "real.wmv");
}

}  // namespace
}  // namespace media_testing
