// Files whose headers claim absurd sizes fail cleanly, with the status of the step that refused them,
// and without the memory such sizes would take: the program's peak resident size stays near that of
// converting the same file undamaged.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <functional>

#include "fault_tools.h"
#include "media_tools.h"

namespace faults {
namespace {

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

struct Measured {
  std::string out;
  int status = 0;
  long peakKiB = 0;
};

// Runs the program on `input` (in its folder), Enter waiting on its standard input; its own peak
// resident size.
Measured RunMeasured(const TempDir& dir, const std::string& input) {
  WriteFile(dir / "stdin", "\n");
  const std::vector<std::string> argv = VidmillIn(dir, {input});
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(open((dir / "stdin").c_str(), O_RDONLY), 0);
    dup2(open((dir / "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  Measured m;
  rusage usage{};
  while (wait4(pid, &m.status, 0, &usage) < 0 && errno == EINTR) {
  }
  m.peakKiB = usage.ru_maxrss;
  m.out = ReadFile(dir / "stdout");
  return m;
}

void PutLe(std::string& bytes, std::size_t at, uint64_t value, int size) {
  for (int i = 0; i < size; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
}

// Where the n-th stream format ("strf") chunk's data starts in an AVI.
std::size_t StreamFormat(const std::string& avi, int n) {
  std::size_t at = std::string::npos;
  for (int i = 0; i <= n; ++i) at = avi.find("strf", at == std::string::npos ? 0 : at + 4);
  return at + 8;
}

struct Claim {
  const char* name;
  std::function<void(std::string& avi)> patch;
  std::string report;  // "" for a file that converts
};

void PrintTo(const Claim& c, std::ostream* os) { *os << c.name; }

const std::string kRender = "FAILED in pBuild->RenderStream(NULL, NULL, pSrc, NULL, pAsfWriter)! hr=0x80040218\r\r\n";

class AbsurdClaim : public ::testing::TestWithParam<Claim> {};

TEST_P(AbsurdClaim, FailsCleanlyWithoutTheMemoryItClaims) {
  TempDir dir;
  // Raw pictures: their size is the header's word alone, no bitstream to say otherwise.
  media_testing::MakeMedia(
      "-f lavfi -i testsrc=size=32x24:rate=10:duration=1 -f lavfi -i sine=sample_rate=8000:duration=1 "
      "-c:v rawvideo -pix_fmt yuv420p -c:a pcm_s16le",
      dir / "sound.avi");
  const Measured sound = RunMeasured(dir, "sound.avi");
  ASSERT_TRUE(WIFEXITED(sound.status) && WEXITSTATUS(sound.status) == 0) << sound.out;

  std::string bytes = ReadFile(dir / "sound.avi");
  GetParam().patch(bytes);
  WriteFile(dir / "claim.avi", bytes);
  const Measured claim = RunMeasured(dir, "claim.avi");

  if (GetParam().report.empty()) {
    EXPECT_TRUE(WIFEXITED(claim.status) && WEXITSTATUS(claim.status) == 0) << claim.out;
    EXPECT_EQ(media_testing::Probe(dir / "claim.avi.wmv").formatName, "asf");
  } else {
    EXPECT_EQ(claim.out, GetParam().report);
    EXPECT_TRUE(WIFEXITED(claim.status) && WEXITSTATUS(claim.status) == 255) << "status " << claim.status;
    EXPECT_FALSE(std::filesystem::exists(dir / "claim.avi.wmv"));
  }
  EXPECT_LT(claim.peakKiB, sound.peakKiB + 64 * 1024)
      << "peak " << claim.peakKiB << " KiB against " << sound.peakKiB << " KiB for the sound file";
}

INSTANTIATE_TEST_SUITE_P(
    PatchedAviHeaders, AbsurdClaim,
    ::testing::Values(
        Claim{"Picture100000x100000",
              [](std::string& avi) {
                PutLe(avi, StreamFormat(avi, 0) + 4, 100000, 4);
                PutLe(avi, StreamFormat(avi, 0) + 8, 100000, 4);
              },
              kRender},
        // Within what FFmpeg itself accepts, but a quarter of a gigabyte a picture.
        Claim{"Picture16000x16000",
              [](std::string& avi) {
                PutLe(avi, StreamFormat(avi, 0) + 4, 16000, 4);
                PutLe(avi, StreamFormat(avi, 0) + 8, 16000, 4);
              },
              kRender},
        Claim{"Picture20000Wide", [](std::string& avi) { PutLe(avi, StreamFormat(avi, 0) + 4, 20000, 4); }, kRender},
        Claim{"Sound500Channels", [](std::string& avi) { PutLe(avi, StreamFormat(avi, 1) + 2, 500, 2); }, kRender},
        Claim{"SoundAt2GHz", [](std::string& avi) { PutLe(avi, StreamFormat(avi, 1) + 4, 2000000000, 4); },
              kRender},
        // The main header's stream count is only a claim: the streams are those the file holds.
        Claim{"ABillionStreams",
              [](std::string& avi) { PutLe(avi, avi.find("avih") + 8 + 24, 1000000000, 4); },
              ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TooManyStreams, AFileOfMoreStreamsThanTheLimitIsNotRead) {
  TempDir dir;
  std::string maps = "-map 0:v";
  for (int i = 0; i < 120; ++i) maps += " -map 1:a";
  media_testing::MakeMedia(
      "-f lavfi -i testsrc=size=32x24:rate=10:duration=0.2 -f lavfi -i sine=sample_rate=8000:duration=0.2 " + maps +
          " -c:v mpeg4 -c:a pcm_s16le",
      dir / "streams.mkv");
  const Measured run = RunMeasured(dir, "streams.mkv");
  EXPECT_EQ(run.out,
            "FAILED in pGraph->AddSourceFilter(T2W(lpszInFileName), L\"Source Filter\", &pSrc)! hr=0x80040240\r\r\n");
  EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 255) << "status " << run.status;
}

}  // namespace
}  // namespace faults
