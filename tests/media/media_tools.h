// The ffmpeg and ffprobe command-line tools, for making test media and checking what was written.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace media_testing {

struct CommandResult {
  int status = -1;     // the shell's exit status
  std::string output;  // standard output, then standard error
};

// Runs a shell command; the output holds both of its streams.
CommandResult Shell(const std::string& command);

// Quotes a word for the shell.
std::string Quoted(const std::string& word);

// Makes a media file with ffmpeg from `arguments` (inputs, codecs; the output name goes last). Fails
// the calling test when ffmpeg fails.
void MakeMedia(const std::string& arguments, const std::string& output);

struct ProbedStream {
  std::string codecType;  // "video" or "audio"
  std::string codecName;
  int width = 0, height = 0;
  int sampleRate = 0, channels = 0;
  long bitRate = -1;
  double startTime = -1, duration = -1;
  long frames = -1;  // counted by decoding
  std::string sampleAspectRatio;
};

struct ProbedFile {
  bool ok = false;  // ffprobe read it
  std::string formatName;
  double duration = -1;
  std::vector<ProbedStream> streams;

  const ProbedStream* Stream(const std::string& type) const;
  int Count(const std::string& type) const;
};

// What ffprobe sees in the file, frames counted.
ProbedFile Probe(const std::string& path);

// Presentation times of the video frames, in seconds, in decoding order.
std::vector<double> VideoFrameTimes(const std::string& path);

// Last presentation end (pts + duration) of the file's packets of one type, in seconds.
double StreamEnd(const std::string& path, const std::string& type);

// Presentation times of the video's keyframes, in seconds.
std::vector<double> KeyframeTimes(const std::string& path);

// What `ffmpeg -v error` says while decoding the whole file (nothing for a sound file).
std::string DecodeErrors(const std::string& path);

// Average luma+chroma PSNR of the first file's video against the second's, frames paired in decoding
// order; `referenceFilter` is applied to the reference first (for instance a crop). -1 when unknown.
double VideoPsnr(const std::string& encoded, const std::string& reference, const std::string& referenceFilter = "");

}  // namespace media_testing
