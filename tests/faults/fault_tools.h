// What the fault tests share: a clip long enough to be caught mid-run, the program started in a folder,
// and what a folder holds afterwards.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "process.h"
#include "temp_dir.h"

namespace faults {

// A 60 s 640x480 AVI (MPEG-4 video, PCM sound), made once per test program; its length as the
// progress line shows it.
const std::string& LongClip();
inline constexpr double kLongClipSeconds = 60;
inline constexpr const char* kLongClipTotal = "00:01:00.00";

// The program's command line, run in `folder` with `args` as a user there would type them.
std::vector<std::string> VidmillIn(const testing_support::TempDir& folder, const std::vector<std::string>& args);
std::vector<std::string> VidmillIn(const std::string& folder, const std::vector<std::string>& args);

// Waits until the progress line shows at least `seconds` converted; false when it never does.
bool WaitForPosition(testing_support::PtyProcess& program, int seconds);

// The last position the progress line showed, in seconds; -1 when none.
double LastPosition(const std::string& output);

std::set<std::string> FilesIn(const std::string& folder);

// The open flags (as fdinfo gives them) of each descriptor process `pid` holds on the file `path`.
std::vector<int> OpenFlagsOn(int pid, const std::string& path);

// The names in `folder` of hidden files the writer makes for the output `name`.
std::set<std::string> HiddenFilesFor(const std::string& folder, const std::string& name);

}  // namespace faults
