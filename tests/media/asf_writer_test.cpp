// The writer when a source delivers one stream far ahead of the other: it has to write the full
// input first (see the interleaver), and the other stream then arrives behind what is written.
#include "engine/asf_writer.h"

#include <gtest/gtest.h>

#include <thread>

#include "engine/writer_profile.h"
#include "media_tools.h"
#include "temp_dir.h"

namespace media::engine {
namespace {

CodecContextPtr OpenEncoder(AVCodecID id, const std::function<void(AVCodecContext&)>& setUp) {
  CodecContextPtr context(avcodec_alloc_context3(avcodec_find_encoder(id)));
  setUp(*context);
  context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  EXPECT_EQ(avcodec_open2(context.get(), context->codec, nullptr), 0);
  return context;
}

// A packet of made-up data with the encoder's timestamps; the muxer does not look inside.
PacketPtr Payload(int64_t pts, int64_t duration, int size) {
  PacketPtr packet = NewPacket();
  av_new_packet(packet.get(), size);
  std::memset(packet->data, 0x5a, static_cast<std::size_t>(size));
  packet->pts = packet->dts = pts;
  packet->duration = duration;
  packet->flags |= AV_PKT_FLAG_KEY;
  return packet;
}

struct Row {
  char type;  // 'v' or 'a'
  double time;
};

// The file's packets in the order they are stored, with their times.
std::vector<Row> StoredPackets(const std::string& path) {
  const auto r = media_testing::Shell("ffprobe -v error -show_entries packet=codec_type,pts_time -of csv=p=0 " +
                                      media_testing::Quoted(path));
  std::vector<Row> rows;
  std::istringstream lines(r.output);
  std::string line;
  while (std::getline(lines, line)) {
    const auto comma = line.find(',');
    if (comma == std::string::npos) continue;
    rows.push_back({line[0], std::stod(line.substr(comma + 1))});
  }
  return rows;
}

TEST(AsfWriter, AStreamArrivingBehindWhatIsWrittenKeepsItsSpacingAndEveryPacket) {
  testing_support::TempDir dir;
  const std::string name = dir / "out.wmv";
  const CodecContextPtr video = OpenEncoder(profile::kVideoCodec, [](AVCodecContext& c) {
    c.width = 64;
    c.height = 48;
    c.pix_fmt = profile::kPixelFormat;
    c.time_base = profile::kVideoTimeBase;
  });
  const CodecContextPtr audio = OpenEncoder(profile::kAudioCodec, [](AVCodecContext& c) {
    c.sample_fmt = profile::kSampleFormat;
    c.sample_rate = 44100;
    av_channel_layout_default(&c.ch_layout, 2);
    c.bit_rate = 128000;
    c.time_base = AVRational{1, 44100};
  });
  std::unique_ptr<AsfWriter> writer;
  ASSERT_EQ(AsfWriter::Create(name, {video.get(), audio.get()}, &writer), S_OK);

  std::atomic<REFERENCE_TIME> position{0};
  std::stop_source never;
  HRESULT written = E_FAIL;
  std::jthread running([&] { written = writer->Run(never.get_token(), nullptr, position, [] { return false; }); });
  WriterInput videoInput(writer->Inputs(), 0), audioInput(writer->Inputs(), 1);

  // Minutes of sound while the picture says nothing: once the sound's input is full, the writer takes
  // from it, one packet for each that comes.
  const int frameSamples = audio->frame_size;
  const int soundPackets = 20000;
  std::atomic<bool> soundDelivered = false;
  std::jthread sound([&] {
    for (int i = 0; i < soundPackets; ++i) {
      const int64_t pts = int64_t{i} * frameSamples;
      if (!audioInput.Deliver(Payload(pts, frameSamples, 300), ToMediaTime(pts, audio->time_base),
                              ToMediaTime(pts + frameSamples, audio->time_base), never.get_token()))
        break;
    }
    soundDelivered = true;
  });
  while (position.load() < 2 * kUnitsPerSecond && !soundDelivered)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_GE(position.load(), 2 * kUnitsPerSecond) << "the writer took sound before any picture came";
  // All the sound is in before the first picture, so how far the writer got no longer races with them.
  sound.join();
  // Then a second of pictures from the start.
  for (int i = 0; i < 30; ++i) {
    const int64_t pts = i * 100 / 3;
    ASSERT_TRUE(videoInput.Deliver(Payload(pts, 33, 700), ToMediaTime(pts, video->time_base),
                                   ToMediaTime(pts + 33, video->time_base), never.get_token()));
  }
  videoInput.End();
  audioInput.End();
  running.join();
  ASSERT_EQ(written, S_OK);
  ASSERT_EQ(writer->Commit(), S_OK);

  const std::vector<Row> rows = StoredPackets(name);
  std::vector<double> pictures;
  int sounds = 0;
  double last = -1;
  for (const Row& row : rows) {
    EXPECT_GE(row.time, last) << "times in the file never go back";
    last = std::max(last, row.time);
    if (row.type == 'v') pictures.push_back(row.time);
    if (row.type == 'a') ++sounds;
  }
  EXPECT_EQ(sounds, soundPackets);
  ASSERT_EQ(pictures.size(), 30u) << "every picture is kept";
  for (std::size_t i = 1; i < pictures.size(); ++i) EXPECT_NEAR(pictures[i] - pictures[i - 1], 1.0 / 30, 0.002);
}

}  // namespace
}  // namespace media::engine
