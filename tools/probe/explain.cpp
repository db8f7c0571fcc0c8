#include "explain.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "audio/mpeg_audio.h"
#include "audio/riff_chunks.h"
#include "base/ascii.h"
#include "base/byte_order.h"
#include "commands/format_check.h"

namespace tonvane {
namespace {

constexpr std::uint16_t kExtensible = 0xFFFE;
// The end of the extensible "fmt " chunk, whose sub-format starts with the format tag.
constexpr std::uint32_t kExtensibleFmtSize = 40;
constexpr std::uint32_t kSubFormatOffset = 24;

struct TEncoding {
  std::uint16_t Tag;
  const char* Name;  // after the sample size: "8-bit A-law"
  bool SoxReads;
};
constexpr std::array<TEncoding, 9> kEncodings = {{
    {1, "", true},
    {2, " MS ADPCM", true},
    {3, " floating-point", true},
    {6, " A-law", true},
    {7, " mu-law", true},
    {0x11, " IMA ADPCM", true},
    {0x31, " GSM 6.10", true},
    {0x50, " MPEG", false},
    {0x55, " MP3", false},
}};

const TEncoding* EncodingOf(std::uint16_t tag) {
  const auto it =
      std::find_if(kEncodings.begin(), kEncodings.end(), [tag](const TEncoding& e) { return e.Tag == tag; });
  return it == kEncodings.end() ? nullptr : &*it;
}

// What a WAV file's header says, read the way the stream walks it, and as far as it goes.
struct TWaveFacts {
  enum class TStop { Unreadable, NoRiffWave, NoFmt, NoData, Whole };
  TStop Stop = TStop::Unreadable;
  std::uint16_t Tag = 0;  // the sub-format's tag under an extensible header
  bool Extensible = false;
  std::uint16_t Channels = 0;
  std::uint32_t Rate = 0;
  std::uint32_t ByteRate = 0;
  std::uint16_t Bits = 0;
  std::uint32_t DataSize = 0;
};

TWaveFacts ReadWaveFacts(const std::string& fileName) {
  TWaveFacts f;
  const auto source = OpenFileSource(fileName);
  if (!source) return f;
  TRiffChunk riff, fmt, data;
  f.Stop = TWaveFacts::TStop::NoRiffWave;
  if (!DescendRiff(*source, FourCC("WAVE"), riff)) return f;
  f.Stop = TWaveFacts::TStop::NoFmt;
  if (!DescendChunk(*source, FourCC("fmt "), riff, fmt)) return f;
  std::uint8_t bytes[kExtensibleFmtSize] = {};
  if (source->Read(bytes, static_cast<std::int32_t>(std::min(fmt.Size, kExtensibleFmtSize))) < 16) return f;
  f.Tag = LoadLe16(bytes);
  f.Channels = LoadLe16(bytes + 2);
  f.Rate = LoadLe32(bytes + 4);
  f.ByteRate = LoadLe32(bytes + 8);
  f.Bits = LoadLe16(bytes + 14);
  if (f.Tag == kExtensible && fmt.Size >= kExtensibleFmtSize) {
    f.Extensible = true;
    f.Tag = LoadLe16(bytes + kSubFormatOffset);
  }
  f.Stop = TWaveFacts::TStop::NoData;
  if (!Ascend(*source, fmt) || !DescendChunk(*source, FourCC("data"), riff, data)) return f;
  f.Stop = TWaveFacts::TStop::Whole;
  f.DataSize = data.Size;
  return f;
}

std::string Describe(const TWaveFacts& f) {
  const TEncoding* encoding = EncodingOf(f.Tag);
  char text[160];
  char tag[24];
  std::snprintf(tag, sizeof tag, " format 0x%04X", f.Tag);
  std::snprintf(text, sizeof text, "%u-bit%s, %u channel%s, %u Hz, %s", unsigned{f.Bits},
                encoding ? encoding->Name : tag, unsigned{f.Channels}, f.Channels == 1 ? "" : "s", f.Rate,
                f.Extensible ? "extensible WAV header"
                : f.Tag == 1 ? "PCM WAV"
                             : "WAV");
  return text;
}

// A name beside the file: its own with a suffix and an extension of the copy's.
std::string BesideName(const std::string& fileName, std::string_view suffix, std::string_view extension) {
  return fileName.substr(0, fileName.size() - FileExtension(fileName).size()) + std::string(suffix) +
         std::string(extension);
}

// The name of the mended copy: beside the file, "-fixed" added to its name.
std::string FixedName(const std::string& fileName, std::string_view extension) {
  return BesideName(fileName, "-fixed", extension);
}

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

// sox's own guard (-G) turns a mixdown or a resampled peak down as far as needed,
// but the dither it adds when it drops bits still clips a file at full scale:
// 0.1 dB less (an inaudible 1 %) leaves that room.
constexpr char kSoxNoClip[] = " gain -0.1";

std::string SoxFix(const std::string& fileName, std::int32_t rate, const std::string& output) {
  return "sox -G " + Quoted(fileName) + " -c 1 -b 16 -r " + std::to_string(rate) + " " +
         Quoted(output.empty() ? FixedName(fileName, FileExtension(fileName)) : output) + kSoxNoClip;
}

// One channel of a file sox reads, as a mono WAV file of its own: "-left" (1) or
// "-right" (2). input is the file, or "-t wav -" after a decoder's pipe.
std::string SoxChannel(const std::string& input, const std::string& fileName, std::int32_t rate,
                       int channel) {
  return "sox -G " + input + " -b 16 -r " + std::to_string(rate) + " " +
         Quoted(BesideName(fileName, channel == 1 ? "-left" : "-right", ".wav")) + " remix " +
         std::to_string(channel) + kSoxNoClip;
}

TExplanation ExplainWave(const std::string& fileName, const TVerdict& verdict, std::int32_t rate,
                         const std::string& output) {
  const TWaveFacts f = ReadWaveFacts(fileName);
  switch (f.Stop) {
    case TWaveFacts::TStop::Unreadable:
      return {"the file cannot be read", ""};
    case TWaveFacts::TStop::NoRiffWave:
      return {"no RIFF WAVE header: not a WAV file", ""};
    case TWaveFacts::TStop::NoFmt:
      return {"a RIFF WAVE file without its \"fmt \" chunk", ""};
    case TWaveFacts::TStop::NoData:
      return {Describe(f) + ", no \"data\" chunk after the \"fmt \" chunk", ""};
    case TWaveFacts::TStop::Whole:
      break;
  }
  // The stream's own limits, which the format checks never see.
  if (!verdict.Opened && f.Tag == 1 && !f.Extensible && f.ByteRate == 0)
    return {Describe(f) + ", its header gives 0 bytes per second", ""};
  if (f.DataSize <= 4) return {Describe(f) + ", no sound in its \"data\" chunk", ""};
  const TEncoding* encoding = EncodingOf(f.Tag);
  if (!encoding || !encoding->SoxReads) return {Describe(f), ""};
  TExplanation why{Describe(f), SoxFix(fileName, rate, output)};
  if (f.Channels == 2) {
    why.SplitLeft = SoxChannel(Quoted(fileName), fileName, rate, 1);
    why.SplitRight = SoxChannel(Quoted(fileName), fileName, rate, 2);
  }
  return why;
}

// The rates lame writes, in its kHz notation.
std::string LameRate(std::int32_t rate) {
  constexpr std::array<std::pair<std::int32_t, const char*>, 9> kRates = {{{8000, "8"},
                                                                           {11025, "11.025"},
                                                                           {12000, "12"},
                                                                           {16000, "16"},
                                                                           {22050, "22.05"},
                                                                           {24000, "24"},
                                                                           {32000, "32"},
                                                                           {44100, "44.1"},
                                                                           {48000, "48"}}};
  for (const auto& [hz, khz] : kRates)
    if (hz == rate) return khz;
  return {};
}

TExplanation ExplainMp3(const std::string& fileName, const TVerdict& verdict, std::int32_t rate,
                        const std::string& output) {
  TMPEGaudio analyser;
  if (!analyser.Analyse(fileName)) {
    const auto source = OpenFileSource(fileName);
    const std::int64_t size = source ? source->Size() : -1;
    if (size >= 0 && size < 128)
      return {"only " + std::to_string(size) + " bytes: too short for an MP3 file", ""};
    return {"the file cannot be read", ""};
  }
  if (!analyser.FrameInfo.Found) return {"no MPEG audio frame found: not an MP3 file", ""};
  const TFrameData& frame = analyser.FrameInfo;
  const std::string description = std::string(kMpegVersions[frame.VersionIndex]) + " " +
                                  std::string(kMpegLayers[frame.LayerIndex]) + ", " + analyser.ChannelMode() +
                                  ", " + std::to_string(analyser.SampleRate()) + " Hz, " +
                                  std::to_string(analyser.BitRate()) + " kbit/s";
  if (!verdict.Opened) return {description + ", which mp3dec cannot start on", ""};
  // lame reads Layer I and II as well when told which.
  const std::string input = frame.LayerIndex == 3   ? "--mp1input"
                            : frame.LayerIndex == 2 ? "--mp2input"
                                                    : "--mp3input";
  const std::string khz = LameRate(rate);
  const std::string decode = "lame " + input + " --decode " + Quoted(fileName) + " - | ";
  TExplanation why{description, ""};
  if (!khz.empty()) {
    why.Fix = "lame " + input + " -m m --resample " + khz + " -b 128 " + Quoted(fileName) + " " +
              Quoted(output.empty() ? FixedName(fileName, FileExtension(fileName)) : output);
  } else {
    // No MP3 at that rate: a WAV file instead.
    why.Fix = decode + "sox -G -t wav - -c 1 -b 16 -r " + std::to_string(rate) + " " +
              Quoted(output.empty() ? FixedName(fileName, ".wav") : output) + kSoxNoClip;
  }
  // Each channel through the decoder: lame writes no file of one channel of two.
  if (analyser.Mode() != TChannelMode::Mono) {
    why.SplitLeft = decode + SoxChannel("-t wav -", fileName, rate, 1);
    why.SplitRight = decode + SoxChannel("-t wav -", fileName, rate, 2);
  }
  return why;
}

}  // namespace

std::string FixedExtension(const std::string& fileName, std::int32_t deviceRate) {
  if (HasExtension(fileName, ".mp3") && LameRate(deviceRate).empty()) return ".wav";
  return std::string(FileExtension(fileName));
}

TExplanation Explain(const std::string& fileName, const TVerdict& verdict, std::int32_t deviceRate,
                     const std::string& output) {
  if (verdict.Message == kFileDoesNotExist) return {"no file of that name", ""};
  if (HasExtension(fileName, ".wav")) return ExplainWave(fileName, verdict, deviceRate, output);
  if (HasExtension(fileName, ".mp3")) return ExplainMp3(fileName, verdict, deviceRate, output);
  return {"the name does not end in .wav or .mp3", ""};
}

}  // namespace tonvane
