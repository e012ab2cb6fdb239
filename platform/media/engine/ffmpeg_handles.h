// Owners for FFmpeg's objects: each one is freed by the call FFmpeg pairs with its allocation.
#pragma once

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace media::engine {

struct InputFormatDeleter {
  void operator()(AVFormatContext* p) const { avformat_close_input(&p); }
};
struct OutputFormatDeleter {
  void operator()(AVFormatContext* p) const { avformat_free_context(p); }
};
struct CodecContextDeleter {
  void operator()(AVCodecContext* p) const { avcodec_free_context(&p); }
};
struct PacketDeleter {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameDeleter {
  void operator()(AVFrame* p) const { av_frame_free(&p); }
};
struct ScaleDeleter {
  void operator()(SwsContext* p) const { sws_freeContext(p); }
};
struct ResampleDeleter {
  void operator()(SwrContext* p) const { swr_free(&p); }
};
struct AudioFifoDeleter {
  void operator()(AVAudioFifo* p) const { av_audio_fifo_free(p); }
};
struct IoContextDeleter {
  void operator()(AVIOContext* p) const {
    if (p) av_freep(&p->buffer);
    avio_context_free(&p);
  }
};

using InputFormatPtr = std::unique_ptr<AVFormatContext, InputFormatDeleter>;
using OutputFormatPtr = std::unique_ptr<AVFormatContext, OutputFormatDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using ScalePtr = std::unique_ptr<SwsContext, ScaleDeleter>;
using ResamplePtr = std::unique_ptr<SwrContext, ResampleDeleter>;
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, AudioFifoDeleter>;
using IoContextPtr = std::unique_ptr<AVIOContext, IoContextDeleter>;

inline PacketPtr NewPacket() { return PacketPtr(av_packet_alloc()); }
inline FramePtr NewFrame() { return FramePtr(av_frame_alloc()); }

}  // namespace media::engine
