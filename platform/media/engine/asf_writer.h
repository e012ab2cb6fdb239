// The ASF writer at work: takes the encoded packets of its inputs in time order, paced by the reference
// clock when the graph has one, writes them to its output file and finishes that file.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

#include "com/types.h"
#include "engine/asf_muxer.h"
#include "engine/construction_key.h"
#include "engine/interleaver.h"
#include "engine/output_file.h"
#include "media/media_interfaces.h"

namespace media::engine {

class AsfWriter {
 public:
  // `limits`: what each input may have waiting.
  AsfWriter(ConstructionKey<AsfWriter>, const std::vector<InputLimit>& limits);
  // Creates the output file for `name` with one stream per encoder, in order.
  static HRESULT Create(const std::string& name, const std::vector<const AVCodecContext*>& inputs,
                        std::unique_ptr<AsfWriter>* writer);

  Interleaver& Inputs() { return interleaver_; }

  // Writes until every input has ended (then finishes the file) or until stopped (then finishes the
  // file with what was written, unless `failed` says the conversion is being abandoned). `position`
  // rises to the end time of what was written.
  HRESULT Run(std::stop_token stop, IReferenceClock* clock, std::atomic<REFERENCE_TIME>& position,
              const std::function<bool()>& failed);

  // After Run: puts the finished file under its name, or removes it.
  HRESULT Commit() { return file_->Commit(); }
  void Discard() { file_->Discard(); }

 private:
  // Waits until the clock reaches `time` after the start; false when stopped first.
  bool WaitForClock(IReferenceClock* clock, REFERENCE_TIME time, std::stop_token stop) const;

  Interleaver interleaver_;
  std::unique_ptr<OutputFile> file_;
  std::unique_ptr<AsfMuxer> muxer_;
  REFERENCE_TIME clockStart_ = 0;
};

}  // namespace media::engine
