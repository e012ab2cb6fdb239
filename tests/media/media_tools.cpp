#include "media_tools.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace media_testing {

CommandResult Shell(const std::string& command) {
  CommandResult result;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return result;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string Quoted(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

void MakeMedia(const std::string& arguments, const std::string& output) {
  const CommandResult r = Shell("ffmpeg -nostdin -v error -y " + arguments + " " + Quoted(output));
  ASSERT_EQ(r.status, 0) << "ffmpeg " << arguments << ":\n" << r.output;
}

const ProbedStream* ProbedFile::Stream(const std::string& type) const {
  for (const ProbedStream& s : streams)
    if (s.codecType == type) return &s;
  return nullptr;
}

int ProbedFile::Count(const std::string& type) const {
  int n = 0;
  for (const ProbedStream& s : streams) n += s.codecType == type;
  return n;
}

namespace {

double Number(const std::string& text) {
  if (text.empty() || text == "N/A") return -1;
  return std::strtod(text.c_str(), nullptr);
}

}  // namespace

ProbedFile Probe(const std::string& path) {
  ProbedFile file;
  const CommandResult r = Shell(
      "ffprobe -v error -count_frames -show_entries "
      "format=format_name,duration:stream=codec_type,codec_name,width,height,sample_rate,channels,start_time,"
      "duration,nb_read_frames,sample_aspect_ratio,bit_rate -of default=noprint_wrappers=0 " +
      Quoted(path));
  if (r.status != 0) return file;
  file.ok = true;
  std::istringstream lines(r.output);
  std::string line;
  ProbedStream* stream = nullptr;
  bool inFormat = false;
  while (std::getline(lines, line)) {
    if (line == "[STREAM]") {
      file.streams.emplace_back();
      stream = &file.streams.back();
      continue;
    }
    if (line == "[FORMAT]") {
      inFormat = true;
      stream = nullptr;
      continue;
    }
    if (line.front() == '[') continue;
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (inFormat) {
      if (key == "format_name") file.formatName = value;
      if (key == "duration") file.duration = Number(value);
    } else if (stream) {
      if (key == "codec_type") stream->codecType = value;
      if (key == "codec_name") stream->codecName = value;
      if (key == "width") stream->width = static_cast<int>(Number(value));
      if (key == "height") stream->height = static_cast<int>(Number(value));
      if (key == "sample_rate") stream->sampleRate = static_cast<int>(Number(value));
      if (key == "channels") stream->channels = static_cast<int>(Number(value));
      if (key == "start_time") stream->startTime = Number(value);
      if (key == "duration") stream->duration = Number(value);
      if (key == "nb_read_frames") stream->frames = static_cast<long>(Number(value));
      if (key == "sample_aspect_ratio") stream->sampleAspectRatio = value;
      if (key == "bit_rate") stream->bitRate = static_cast<long>(Number(value));
    }
  }
  return file;
}

std::vector<double> VideoFrameTimes(const std::string& path) {
  const CommandResult r =
      Shell("ffprobe -v error -select_streams v:0 -show_entries packet=pts_time -of csv=p=0 " + Quoted(path));
  std::vector<double> times;
  std::istringstream lines(r.output);
  std::string line;
  while (std::getline(lines, line))
    if (!line.empty()) times.push_back(Number(line));
  return times;
}

std::vector<double> KeyframeTimes(const std::string& path) {
  const CommandResult r =
      Shell("ffprobe -v error -select_streams v:0 -show_entries packet=pts_time,flags -of csv=p=0 " + Quoted(path));
  std::vector<double> times;
  std::istringstream lines(r.output);
  std::string line;
  while (std::getline(lines, line)) {
    const auto comma = line.find(',');
    if (comma != std::string::npos && line.find('K', comma) != std::string::npos)
      times.push_back(Number(line.substr(0, comma)));
  }
  return times;
}

double StreamEnd(const std::string& path, const std::string& type) {
  const CommandResult r = Shell("ffprobe -v error -select_streams " + type.substr(0, 1) +
                                ":0 -show_entries packet=pts_time,duration_time -of csv=p=0 " + Quoted(path));
  double end = -1;
  std::istringstream lines(r.output);
  std::string line;
  while (std::getline(lines, line)) {
    const auto comma = line.find(',');
    if (comma == std::string::npos) continue;
    const double pts = Number(line.substr(0, comma));
    const double duration = std::max(0.0, Number(line.substr(comma + 1)));
    end = std::max(end, pts + duration);
  }
  return end;
}

std::string DecodeErrors(const std::string& path) {
  return Shell("ffmpeg -nostdin -v error -i " + Quoted(path) + " -f null -").output;
}

double VideoPsnr(const std::string& encoded, const std::string& reference, const std::string& referenceFilter) {
  // Both sides renumbered frame by frame, so that frames pair up in decoding order whatever their times.
  const std::string graph = "[0:v]setpts=N/(30*TB),format=yuv420p[a];[1:v]" +
                            (referenceFilter.empty() ? std::string() : referenceFilter + ",") +
                            "setpts=N/(30*TB),format=yuv420p[b];[a][b]psnr";
  const CommandResult r = Shell("ffmpeg -nostdin -i " + Quoted(encoded) + " -i " + Quoted(reference) +
                                " -fps_mode passthrough -lavfi " + Quoted(graph) + " -f null -");
  const auto at = r.output.find("average:");
  if (at == std::string::npos) return -1;
  return Number(r.output.substr(at + 8));
}

}  // namespace media_testing
