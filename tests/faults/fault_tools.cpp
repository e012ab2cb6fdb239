#include "fault_tools.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>

#include "media_tools.h"

namespace faults {

namespace fs = std::filesystem;

const std::string& LongClip() {
  static testing_support::TempDir* folder = new testing_support::TempDir;  // lives until the process ends
  static const std::string clip = [] {
    const std::string path = *folder / "long.avi";
    const std::string seconds = std::to_string(static_cast<int>(kLongClipSeconds));
    media_testing::MakeMedia("-f lavfi -i testsrc2=size=640x480:rate=30:duration=" + seconds +
                                 " -f lavfi -i sine=frequency=440:duration=" + seconds +
                                 " -ac 2 -c:v mpeg4 -q:v 4 -c:a pcm_s16le",
                             path);
    return path;
  }();
  return clip;
}

std::vector<std::string> VidmillIn(const std::string& folder, const std::vector<std::string>& args) {
  std::string script = "cd " + media_testing::Quoted(folder) + " && exec " + media_testing::Quoted(VIDMILL);
  for (const std::string& arg : args) script += " " + media_testing::Quoted(arg);
  return {"/bin/sh", "-c", script};
}

std::vector<std::string> VidmillIn(const testing_support::TempDir& folder, const std::vector<std::string>& args) {
  return VidmillIn(folder.path().string(), args);
}

bool WaitForPosition(testing_support::PtyProcess& program, int seconds) {
  // The position can jump (whole segments of picture are written at once), so it is read, not matched.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (LastPosition(program.output()) < seconds) {
    if (std::chrono::steady_clock::now() > deadline || program.output().find("FAILED") != std::string::npos)
      return false;
    program.WaitFor("\x01", std::chrono::milliseconds(20));  // never written: reads what came meanwhile
  }
  return true;
}

double LastPosition(const std::string& output) {
  static const std::regex progress("(\\d\\d):(\\d\\d):(\\d\\d)\\.(\\d\\d) / ");
  double last = -1;
  for (std::sregex_iterator it(output.begin(), output.end(), progress), end; it != end; ++it) {
    const auto& m = *it;
    last = std::stoi(m[1]) * 3600 + std::stoi(m[2]) * 60 + std::stoi(m[3]) + std::stoi(m[4]) * 0.034;
  }
  return last;
}

std::set<std::string> FilesIn(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

std::vector<int> OpenFlagsOn(int pid, const std::string& path) {
  const fs::path file = fs::canonical(path);
  const fs::path fds = "/proc/" + std::to_string(pid) + "/fd";
  std::vector<int> flags;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(fds, error)) {
    if (fs::read_symlink(entry.path(), error) != file) continue;
    std::ifstream info("/proc/" + std::to_string(pid) + "/fdinfo/" + entry.path().filename().string());
    std::string key;
    while (info >> key)
      if (key == "flags:") {
        std::string octal;
        info >> octal;
        flags.push_back(std::stoi(octal, nullptr, 8));
      }
  }
  return flags;
}

std::set<std::string> HiddenFilesFor(const std::string& folder, const std::string& name) {
  std::set<std::string> hidden;
  for (const std::string& file : FilesIn(folder))
    if (file.rfind("." + name + ".", 0) == 0) hidden.insert(file);
  return hidden;
}

}  // namespace faults
