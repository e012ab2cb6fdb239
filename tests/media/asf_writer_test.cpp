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

// A writer with a picture input (0) and a sound input (1), running on a thread of its own.
class RunningWriter {
 public:
  explicit RunningWriter(const std::string& name)
      : video_(OpenEncoder(profile::kVideoCodec,
                           [](AVCodecContext& c) {
                             c.width = 64;
                             c.height = 48;
                             c.pix_fmt = profile::kPixelFormat;
                             c.time_base = profile::kVideoTimeBase;
                           })),
        audio_(OpenEncoder(profile::kAudioCodec, [](AVCodecContext& c) {
          c.sample_fmt = profile::kSampleFormat;
          c.sample_rate = 44100;
          av_channel_layout_default(&c.ch_layout, 2);
          c.bit_rate = 128000;
          c.time_base = AVRational{1, 44100};
        })) {
    EXPECT_EQ(AsfWriter::Create(name, {video_.get(), audio_.get()}, &writer_), S_OK);
    running_ = std::jthread([this] { written_ = writer_->Run({}, nullptr, position_, [] { return false; }); });
  }

  // Picture `i` at 30 a second; sound packet `i`, of the encoder's frame size.
  bool Picture(int i) {
    const int64_t pts = int64_t{i} * 100 / 3;
    return WriterInput(writer_->Inputs(), 0)
        .Deliver(Payload(pts, 33, 700), ToMediaTime(pts, video_->time_base), ToMediaTime(pts + 33, video_->time_base),
                 {});
  }
  bool Sound(int i) {
    const int64_t pts = int64_t{i} * audio_->frame_size;
    return WriterInput(writer_->Inputs(), 1)
        .Deliver(Payload(pts, audio_->frame_size, 300), ToMediaTime(pts, audio_->time_base),
                 ToMediaTime(pts + audio_->frame_size, audio_->time_base), {});
  }
  int SoundPacketsIn(double seconds) const { return static_cast<int>(seconds * 44100 / audio_->frame_size); }
  double SoundTime(int i) const { return double(i) * audio_->frame_size / 44100; }
  REFERENCE_TIME Position() const { return position_.load(); }

  // Ends both inputs and waits for the file.
  HRESULT Finish() {
    WriterInput(writer_->Inputs(), 0).End();
    WriterInput(writer_->Inputs(), 1).End();
    running_.join();
    if (FAILED(written_)) return written_;
    return writer_->Commit();
  }

 private:
  CodecContextPtr video_, audio_;
  std::unique_ptr<AsfWriter> writer_;
  std::atomic<REFERENCE_TIME> position_{0};
  HRESULT written_ = E_FAIL;
  std::jthread running_;  // declared last: joined before the rest goes
};

// Every picture's and every sound's time in the file, in the order stored.
struct StoredTimes {
  std::vector<double> pictures, sounds;
  bool neverBack = true;
};
StoredTimes TimesIn(const std::string& path) {
  StoredTimes times;
  double last = -1;
  for (const Row& row : StoredPackets(path)) {
    if (row.time < last) times.neverBack = false;
    last = std::max(last, row.time);
    (row.type == 'v' ? times.pictures : times.sounds).push_back(row.time);
  }
  return times;
}

TEST(AsfWriter, AStreamArrivingBehindWhatIsWrittenKeepsItsSpacingAndEveryPacket) {
  testing_support::TempDir dir;
  const std::string name = dir / "out.wmv";
  RunningWriter writer(name);
  // Minutes of sound while the picture says nothing: once the sound's input is full, the writer takes
  // from it, one packet for each that comes.
  const int soundPackets = 20000;
  std::atomic<bool> soundDelivered = false;
  std::jthread sound([&] {
    for (int i = 0; i < soundPackets && writer.Sound(i); ++i) {
    }
    soundDelivered = true;
  });
  while (writer.Position() < 2 * kUnitsPerSecond && !soundDelivered)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_GE(writer.Position(), 2 * kUnitsPerSecond) << "the writer took sound before any picture came";
  // All the sound is in before the first picture, so how far the writer got no longer races with them.
  sound.join();
  // Then a second of pictures from the start.
  for (int i = 0; i < 30; ++i) ASSERT_TRUE(writer.Picture(i));
  ASSERT_EQ(writer.Finish(), S_OK);

  const StoredTimes times = TimesIn(name);
  EXPECT_TRUE(times.neverBack) << "times in the file never go back";
  EXPECT_EQ(times.sounds.size(), std::size_t{soundPackets});
  ASSERT_EQ(times.pictures.size(), 30u) << "every picture is kept";
  for (std::size_t i = 1; i < times.pictures.size(); ++i)
    EXPECT_NEAR(times.pictures[i] - times.pictures[i - 1], 1.0 / 30, 0.002);
}

TEST(AsfWriter, PicturesHandedOverSecondsAtATimeWaitForTheirSound) {
  // How the video chain delivers when it encodes segments side by side: a few seconds of pictures at
  // once, before the sound of that time is encoded. Nothing may be moved: every time stays its own.
  testing_support::TempDir dir;
  const std::string name = dir / "out.wmv";
  RunningWriter writer(name);
  const int pictures = 4 * 30;
  for (int i = 0; i < pictures; ++i) ASSERT_TRUE(writer.Picture(i));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the writer has every chance to go ahead
  const int sounds = writer.SoundPacketsIn(4.0);
  for (int i = 0; i < sounds; ++i) ASSERT_TRUE(writer.Sound(i));
  ASSERT_EQ(writer.Finish(), S_OK);

  const StoredTimes times = TimesIn(name);
  EXPECT_TRUE(times.neverBack);
  ASSERT_EQ(times.pictures.size(), std::size_t{pictures});
  ASSERT_EQ(times.sounds.size(), std::size_t(sounds));
  for (int i = 0; i < pictures; ++i) ASSERT_NEAR(times.pictures[i], i / 30.0, 0.002) << "picture " << i;
  for (int i = 0; i < sounds; ++i) ASSERT_NEAR(times.sounds[i], writer.SoundTime(i), 0.002) << "sound " << i;
}

}  // namespace
}  // namespace media::engine
