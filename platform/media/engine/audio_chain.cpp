#include "engine/audio_chain.h"

#include <algorithm>
#include <array>

#include "engine/decoder.h"
#include "engine/status.h"
#include "engine/writer_profile.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

namespace media::engine {
namespace {

// A gap in the source's audio longer than this is filled with silence, so that sound stays in step with
// the picture after a damaged stretch.
constexpr REFERENCE_TIME kMaxDrift = kUnitsPerSecond / 10;
constexpr REFERENCE_TIME kMaxGap = 600 * kUnitsPerSecond;

// Opens the encoder at the profile's bit rate, or the highest lower one the sample rate can carry.
HRESULT OpenEncoder(int sampleRate, int channels, CodecContextPtr* encoder) {
  const AVCodec* codec = avcodec_find_encoder(profile::kAudioCodec);
  if (!codec) return VFW_E_CANNOT_RENDER;
  const int64_t target = channels == 1 ? profile::kMonoBitRate : profile::kStereoBitRate;
  const std::array<int64_t, 8> rates{target, 96000, 64000, 48000, 32000, 24000, 16000, 12000};
  for (int64_t bitRate : rates) {
    if (bitRate > target) continue;
    CodecContextPtr context(avcodec_alloc_context3(codec));
    if (!context) return E_OUTOFMEMORY;
    context->sample_fmt = profile::kSampleFormat;
    context->sample_rate = sampleRate;
    av_channel_layout_default(&context->ch_layout, channels);
    context->bit_rate = bitRate;
    context->time_base = AVRational{1, sampleRate};
    context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(context.get(), codec, nullptr) >= 0) {
      *encoder = std::move(context);
      return S_OK;
    }
  }
  return VFW_E_CANNOT_RENDER;
}

}  // namespace

HRESULT AudioChain::Create(const AVStream& stream, REFERENCE_TIME origin, std::unique_ptr<StreamChain>* chain) {
  auto self = std::make_unique<AudioChain>(ConstructionKey<AudioChain>(), stream, origin);
  if (HRESULT hr = OpenDecoder(stream, &self->decoder_); FAILED(hr)) return hr;
  const int sourceRate = stream.codecpar->sample_rate;
  const int sourceChannels = stream.codecpar->ch_layout.nb_channels;
  if (sourceRate <= 0 || sourceChannels <= 0) return VFW_E_CANNOT_RENDER;
  const int rate = std::min(sourceRate, profile::kMaxSampleRate);
  const int channels = sourceChannels == 1 ? 1 : 2;
  if (HRESULT hr = OpenEncoder(rate, channels, &self->encoder_); FAILED(hr)) return hr;
  self->fifo_.reset(av_audio_fifo_alloc(profile::kSampleFormat, channels, self->encoder_->frame_size * 4));
  if (!self->fifo_) return E_OUTOFMEMORY;
  *chain = std::move(self);
  return S_OK;
}

HRESULT AudioChain::Run(PacketQueue& input, WriterInput output, std::stop_token stop) {
  HRESULT hr = DecodeStream(*decoder_, input, stop, [&](AVFrame& frame) { return OnFrame(frame, output, stop); });
  if (SUCCEEDED(hr) && !stop.stop_requested() && resampler_) hr = Resample(nullptr);
  if (SUCCEEDED(hr) && !stop.stop_requested()) hr = EncodeReady(true, output, stop);
  if (SUCCEEDED(hr) && !stop.stop_requested()) hr = Encode(nullptr, output, stop);
  av_channel_layout_uninit(&resamplerInput_);
  if (SUCCEEDED(hr)) output.End();
  return hr;
}

HRESULT AudioChain::OnFrame(AVFrame& decoded, WriterInput& output, std::stop_token stop) {
  if (decoded.nb_samples <= 0 || decoded.sample_rate <= 0) return S_OK;
  const int rate = encoder_->sample_rate;
  REFERENCE_TIME time = expectedTime_;
  if (decoded.best_effort_timestamp != AV_NOPTS_VALUE)
    time = ToMediaTime(decoded.best_effort_timestamp, stream_.time_base) - origin_;

  if (!started_) {
    started_ = true;
    // The first sample's place fixes the offset to the picture; samples before the start are left out.
    const int64_t first = FromMediaTime(time, AVRational{1, rate});
    if (first < 0) {
      samplesToSkip_ = -first;
    } else if (first > 0 && time < kMaxGap) {
      if (HRESULT hr = AddSilence(first, output, stop); FAILED(hr)) return hr;
    }
    expectedTime_ = time;
  } else if (time - expectedTime_ > kMaxDrift && time - expectedTime_ < kMaxGap) {
    if (HRESULT hr = AddSilence(FromMediaTime(time - expectedTime_, AVRational{1, rate}), output, stop); FAILED(hr))
      return hr;
    expectedTime_ = time;
  }
  expectedTime_ += ToMediaTime(decoded.nb_samples, AVRational{1, decoded.sample_rate});

  if (HRESULT hr = Resample(&decoded); FAILED(hr)) return hr;
  return EncodeReady(false, output, stop);
}

HRESULT AudioChain::Resample(const AVFrame* decoded) {
  if (decoded && (!resampler_ || decoded->format != resamplerFormat_ || decoded->sample_rate != resamplerRate_ ||
                  av_channel_layout_compare(&decoded->ch_layout, &resamplerInput_) != 0)) {
    // First frame, or the source changed its format: drain the old resampler, set up a new one.
    if (resampler_) {
      if (HRESULT hr = Resample(nullptr); FAILED(hr)) return hr;
    }
    AVChannelLayout input{};
    if (decoded->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || decoded->ch_layout.nb_channels <= 0)
      av_channel_layout_default(&input, decoded->ch_layout.nb_channels > 0 ? decoded->ch_layout.nb_channels : 1);
    else if (av_channel_layout_copy(&input, &decoded->ch_layout) < 0)
      return E_OUTOFMEMORY;
    SwrContext* swr = nullptr;
    const int rc = swr_alloc_set_opts2(&swr, &encoder_->ch_layout, encoder_->sample_fmt, encoder_->sample_rate, &input,
                                       static_cast<AVSampleFormat>(decoded->format), decoded->sample_rate, 0, nullptr);
    resampler_.reset(swr);
    av_channel_layout_uninit(&resamplerInput_);
    av_channel_layout_copy(&resamplerInput_, &decoded->ch_layout);
    av_channel_layout_uninit(&input);
    resamplerFormat_ = decoded->format;
    resamplerRate_ = decoded->sample_rate;
    if (rc < 0 || swr_init(resampler_.get()) < 0) return VFW_E_CANNOT_RENDER;
  }
  if (!resampler_) return S_OK;

  const int inSamples = decoded ? decoded->nb_samples : 0;
  const int room = swr_get_out_samples(resampler_.get(), inSamples);
  if (room <= 0) return S_OK;
  FramePtr out = NewFrame();
  if (!out) return E_OUTOFMEMORY;
  out->format = encoder_->sample_fmt;
  out->nb_samples = room;
  if (av_channel_layout_copy(&out->ch_layout, &encoder_->ch_layout) < 0 || av_frame_get_buffer(out.get(), 0) < 0)
    return E_OUTOFMEMORY;
  const int made = swr_convert(resampler_.get(), out->data, room,
                               decoded ? const_cast<const uint8_t**>(decoded->extended_data) : nullptr, inSamples);
  if (made < 0) return S_OK;  // a frame the resampler refuses is dropped like a damaged one
  int offset = 0;
  if (samplesToSkip_ > 0) {
    offset = static_cast<int>(std::min<int64_t>(samplesToSkip_, made));
    samplesToSkip_ -= offset;
  }
  if (made - offset <= 0) return S_OK;
  std::array<void*, AV_NUM_DATA_POINTERS> planes{};
  const int bytes = av_get_bytes_per_sample(encoder_->sample_fmt);
  for (int c = 0; c < encoder_->ch_layout.nb_channels; ++c) planes[c] = out->extended_data[c] + offset * bytes;
  if (av_audio_fifo_write(fifo_.get(), planes.data(), made - offset) < 0) return E_OUTOFMEMORY;
  samplesIn_ += made - offset;
  return S_OK;
}

HRESULT AudioChain::AddSilence(int64_t samples, WriterInput& output, std::stop_token stop) {
  if (samples <= 0) return S_OK;
  if (samplesToSkip_ >= samples) {
    samplesToSkip_ -= samples;
    return S_OK;
  }
  samples -= samplesToSkip_;
  samplesToSkip_ = 0;
  FramePtr silence = NewFrame();
  if (!silence) return E_OUTOFMEMORY;
  constexpr int kChunk = 4096;
  silence->format = encoder_->sample_fmt;
  silence->nb_samples = kChunk;
  if (av_channel_layout_copy(&silence->ch_layout, &encoder_->ch_layout) < 0 ||
      av_frame_get_buffer(silence.get(), 0) < 0)
    return E_OUTOFMEMORY;
  av_samples_set_silence(silence->extended_data, 0, kChunk, encoder_->ch_layout.nb_channels, encoder_->sample_fmt);
  // Encoded as it goes, so that a long gap takes no more memory than a short one.
  while (samples > 0 && !stop.stop_requested()) {
    const int n = static_cast<int>(std::min<int64_t>(samples, kChunk));
    if (av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(silence->extended_data), n) < 0) return E_OUTOFMEMORY;
    samplesIn_ += n;
    samples -= n;
    if (HRESULT hr = EncodeReady(false, output, stop); FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT AudioChain::EncodeReady(bool last, WriterInput& output, std::stop_token stop) {
  const int frameSize = encoder_->frame_size;
  while (av_audio_fifo_size(fifo_.get()) >= frameSize || (last && av_audio_fifo_size(fifo_.get()) > 0)) {
    if (stop.stop_requested()) return S_OK;
    FramePtr frame = NewFrame();
    if (!frame) return E_OUTOFMEMORY;
    frame->format = encoder_->sample_fmt;
    frame->nb_samples = frameSize;
    frame->sample_rate = encoder_->sample_rate;
    if (av_channel_layout_copy(&frame->ch_layout, &encoder_->ch_layout) < 0 || av_frame_get_buffer(frame.get(), 0) < 0)
      return E_OUTOFMEMORY;
    const int got = av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(frame->extended_data), frameSize);
    if (got < frameSize)  // the last frame is filled up with silence
      av_samples_set_silence(frame->extended_data, std::max(got, 0), frameSize - std::max(got, 0),
                             encoder_->ch_layout.nb_channels, encoder_->sample_fmt);
    frame->pts = fifoStart_;
    fifoStart_ += frameSize;
    if (HRESULT hr = Encode(frame.get(), output, stop); FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT AudioChain::Encode(AVFrame* frame, WriterInput& output, std::stop_token stop) {
  int rc = avcodec_send_frame(encoder_.get(), frame);
  if (rc < 0 && rc != AVERROR_EOF) return StatusFromAv(rc, E_FAIL);
  for (;;) {
    PacketPtr packet = NewPacket();
    if (!packet) return E_OUTOFMEMORY;
    rc = avcodec_receive_packet(encoder_.get(), packet.get());
    if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return S_OK;
    if (rc < 0) return StatusFromAv(rc, E_FAIL);
    // The encoder dates its packets back by its priming delay; the output counts from the first sample.
    if (packet->pts != AV_NOPTS_VALUE) packet->pts += encoder_->initial_padding;
    packet->dts = packet->pts;
    // The silence that fills up the last frame is not part of the stream's length.
    packet->duration = std::clamp<int64_t>(samplesIn_ - packet->pts, 0, packet->duration);
    const REFERENCE_TIME time = ToMediaTime(packet->pts, encoder_->time_base);
    const REFERENCE_TIME end = ToMediaTime(packet->pts + packet->duration, encoder_->time_base);
    if (!output.Deliver(std::move(packet), time, end, stop)) return S_OK;  // stopped
  }
}

}  // namespace media::engine
