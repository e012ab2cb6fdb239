// The output file's rules. The name always holds what it held before or a complete file: a regular
// output is written to a new hidden file in the same folder and renamed over the name only once it is
// finished. An output that is not a regular file (a FIFO, /dev/null, a terminal) is written directly
// and never renamed over. A symbolic link keeps pointing where it did; the file it points to is
// replaced.
#pragma once

#include <sys/types.h>

#include <memory>
#include <optional>
#include <stop_token>
#include <string>

#include "com/types.h"
#include "engine/construction_key.h"
#include "engine/media_source.h"
#include "engine/unique_fd.h"

namespace media::engine {

// Whether `name` can become an output: E_INVALIDARG empty, 0x80070003 missing folder, 0x80070005 a
// folder or not writable.
HRESULT CheckOutputName(const std::string& name);

// The file `name` stands for now, if it exists.
std::optional<FileIdentity> ExistingFile(const std::string& name);

class OutputFile {
 public:
  explicit OutputFile(ConstructionKey<OutputFile>) {}
  // Creates the file to write for `name`; nothing changes at `name` itself yet.
  static HRESULT Create(const std::string& name, std::unique_ptr<OutputFile>* file);

  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  // Removes the hidden file unless it was committed.
  ~OutputFile();

  // A FIFO nobody reads yet is opened once a reader comes: waits for that, giving up (S_FALSE) when
  // `stop` is triggered.
  HRESULT WaitUntilOpen(std::stop_token stop);

  int Fd() const { return fd_.Get(); }
  // Written directly to a pipe, device or terminal: streamable, never seeked or renamed.
  bool Direct() const { return direct_; }

  // Closes the finished file and puts it under the output name.
  HRESULT Commit();
  // Gives up: the hidden file goes, the output name keeps what it held.
  void Discard();

 private:
  UniqueFd fd_;
  bool direct_ = false;
  std::string target_;  // the name, with symbolic links followed
  std::string hidden_;  // empty once committed or discarded, and for direct output
};

}  // namespace media::engine
