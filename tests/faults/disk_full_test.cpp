// Converting onto a disk that fills: the run fails with the disk-full status on the call that saw it,
// the file that had the output's name keeps its bytes, and nothing of the failed output is left. A disk
// mounted read-only is refused before anything runs.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <regex>

#include "fault_tools.h"
#include "media_tools.h"

namespace faults {
namespace {

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

struct DiskCase {
  const char* name;
  const char* options;  // of the small disk
  bool fillFirst;       // the old output fills the disk before the run: the first write already fails
  const char* report;   // the line the program ends on
  bool readOnly = false;  // mounted read-only once the old output is on it
};

void PrintTo(const DiskCase& c, std::ostream* os) { *os << c.name; }

const char* const kWaitFailed = "FAILED in pEvent->WaitForCompletion(10, &evCode)! hr=0x80070070";

class SmallDisk : public ::testing::TestWithParam<DiskCase> {
 protected:
  void SetUp() override {
    disk_ = dir_ / "disk";
    std::filesystem::create_directory(disk_);
    const std::string options = std::string(GetParam().options) + ",mode=0755";
    if (mount("vidmill-test", disk_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0)
      GTEST_SKIP() << "mounting a small tmpfs is not permitted here (it needs root): " << std::strerror(errno);
    mounted_ = true;
  }
  void TearDown() override {
    if (mounted_) {
      EXPECT_EQ(umount2(disk_.c_str(), MNT_DETACH), 0) << std::strerror(errno);
    }
  }

  TempDir dir_;
  std::string disk_;
  bool mounted_ = false;
};

TEST_P(SmallDisk, FailsWithTheStatusThatTellsWhyAndLeavesTheOldFile) {
  std::filesystem::copy_file(LongClip(), dir_ / "clip.avi");
  const std::string output = disk_ + "/out.wmv";
  std::string old(64 * 1024, '\0');
  for (std::size_t i = 0; i < old.size(); ++i) old[i] = static_cast<char>(i * 7 + i / 251);
  WriteFile(output, old);
  if (GetParam().fillFirst) {
    // Whatever room is left goes to the old file.
    FILE* file = std::fopen(output.c_str(), "ab");
    ASSERT_NE(file, nullptr);
    const std::string block(4096, 'x');
    while (std::fwrite(block.data(), 1, block.size(), file) == block.size() && std::fflush(file) == 0) {
    }
    std::fclose(file);
    old = ReadFile(output);
  }
  if (GetParam().readOnly) {
    ASSERT_EQ(mount(nullptr, disk_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0) << std::strerror(errno);
  }

  const auto result = testing_support::RunProgram(VidmillIn(dir_, {"clip.avi", "-o", output}), "\n");

  const std::string report = std::string(GetParam().report) + "\r\r\n";
  static const std::regex progressThenReport("((\\d\\d:\\d\\d:\\d\\d\\.\\d\\d / " + std::string(kLongClipTotal) +
                                             " )*)FAILED in [\\s\\S]*");
  std::smatch match;
  ASSERT_TRUE(std::regex_match(result.out, match, progressThenReport)) << result.out;
  EXPECT_EQ(result.out.substr(match[1].length()), report);
  EXPECT_TRUE(result.Exited(255)) << "status " << result.status;
  EXPECT_EQ(result.err, "");
  if (!GetParam().fillFirst && GetParam().report == kWaitFailed) {
    EXPECT_GT(LastPosition(result.out), 0) << "the disk filled while the run wrote";
  }

  EXPECT_EQ(FilesIn(disk_), std::set<std::string>{"out.wmv"}) << "no hidden file left";
  EXPECT_TRUE(ReadFile(output) == old) << "the old file at the output's name is unchanged";
}

INSTANTIATE_TEST_SUITE_P(Tmpfs, SmallDisk,
                         ::testing::Values(DiskCase{"FillsMidRun", "size=4m", false, kWaitFailed},
                                           DiskCase{"FullBeforeTheRun", "size=256k", true, kWaitFailed},
                                           // Not even the hidden file can be made: Run() says so.
                                           DiskCase{"NoRoomForAnotherFile", "size=4m,nr_inodes=2", false,
                                                    "FAILED in pMediaControl->Run()! hr=0x80070070"},
                                           DiskCase{"ReadOnly", "size=4m", false,
                                                    "FAILED in pBuild->SetOutputFileName(&MEDIASUBTYPE_Asf, "
                                                    "T2W(lpszOutFileName), &pAsfWriter, NULL)! hr=0x80070005",
                                                    true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace faults
