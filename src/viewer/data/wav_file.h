#pragma once
// Audio WAV files (RIFF "WAVE"): read as a waveform, written from a trace, and
// played through the platform's sound player. The viewer reads PCM mono files
// of 8 or 16 bits per sample and writes PCM mono files of 8 bits.
#include <optional>
#include <span>
#include <string>

namespace zephyrim {

class DataStore;
class Notify;
class SoundPlayer;
class WavPlayback;

// The file a trace is written to for playing, in the playback's folder.
inline constexpr const char* kPlayTraceFile = "TR$TRACE$PLAY.TMP.WAV";
// Above this many samples the user is asked before a trace is written.
inline constexpr long long kWavAskSamples = 10000000;

// Registers "TIME" and "VAUDIO" (class 1, transient) from the samples, 16-bit
// ones as s / 32768 and 8-bit ones as (b - 127) / 128, after showing the file's
// description. Returns the number of samples, 0 after the message on failure.
// On success the path becomes the playback's file to play, when one is given.
int wav_read_file(DataStore& store, const std::string& path, WavPlayback* playback = nullptr);

// The displayed x range of a zoomed plot.
struct XRange {
  double from = 0;
  double to = 0;
};

// What wav_write_trace writes: a trace (x ascending) and how to sample it.
struct WavTrace {
  std::span<const double> x;
  std::span<const double> y;
  int sample_rate = 0;           // samples per second
  std::optional<XRange> zoom{};  // none: from 0 to the trace's last x
};

// Samples the trace at 1 / sample rate steps over its range and writes the
// samples, centred on their mean and scaled to their peak deviation, as 8-bit
// PCM, crash-safe. Asks before writing more than kWavAskSamples samples.
// Returns 1 on success, 0 after the message or when the user declined.
int wav_write_trace(const std::string& path, const WavTrace& trace, Notify& notify);

// The state of playing: the player, the file read last, and the folder where a
// trace is written for playing (the current folder when empty).
class WavPlayback {
 public:
  explicit WavPlayback(SoundPlayer& player, std::string folder = {})
      : player_(player), folder_(std::move(folder)) {}
  SoundPlayer& player() { return player_; }
  const std::string& folder() const { return folder_; }
  const std::string& remembered() const { return remembered_; }
  void remember(std::string path) { remembered_ = std::move(path); }

 private:
  SoundPlayer& player_;
  std::string folder_;
  std::string remembered_;
};

// Mode 1 writes the trace to kPlayTraceFile and plays that; any other mode plays
// the remembered file. Playing goes on after the return and replaces any sound
// playing. Returns 1 when playing started, 0 otherwise (after the message of a
// failed write).
int wav_play(WavPlayback& playback, int mode, const WavTrace* trace, Notify& notify);
void wav_stop(WavPlayback& playback);

}  // namespace zephyrim
