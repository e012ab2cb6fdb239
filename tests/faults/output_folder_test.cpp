// The output's folder removed while the conversion writes into it: nothing can be put in place, and
// the report says which folder is missing rather than pretending all went well.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>

#include "fault_tools.h"

namespace faults {
namespace {

namespace fs = std::filesystem;

TEST(OutputFolder, RemovedMidRunFailsAtStopWithThePathNotFound) {
  testing_support::TempDir dir;
  fs::copy_file(LongClip(), dir / "clip.avi");
  fs::create_directory(dir / "out");

  testing_support::PtyProcess program(VidmillIn(dir, {"clip.avi", "-o", "out/clip.wmv"}));
  ASSERT_TRUE(WaitForPosition(program, 2)) << program.output();
  ASSERT_EQ(HiddenFilesFor(dir / "out", "clip.wmv").size(), 1u) << "the run writes its hidden file there";
  fs::remove_all(dir / "out");

  EXPECT_TRUE(program.WaitFor("FAILED in pMediaControl->Stop()! hr=0x80070003\r", std::chrono::seconds(120)))
      << program.output();
  program.Type("\n");
  const int status = program.Wait();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 255) << "status " << status;
  EXPECT_EQ(FilesIn(dir.path()), std::set<std::string>{"clip.avi"});
}

}  // namespace
}  // namespace faults
