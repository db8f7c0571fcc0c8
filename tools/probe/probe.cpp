// tonvane-probe: what the plug-in reads from sound files, and whether the play
// command would take them. The answer to "why won't this file play?", so its output
// is a stable interface: key=value lines in a fixed order, an empty line after each
// file, the same bytes natively and under Windows. With --check, a technician's
// view instead: one verdict line per file of a show's folders (check.h).
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "audio/audio_stream.h"
#include "audio/mpeg_audio.h"
#include "base/ascii.h"
#include "check.h"
#include "file_system.h"
#include "tonvane_version.h"
#include "verdict.h"

namespace {

using namespace tonvane;

constexpr char kUsage[] =
    "usage: tonvane-probe [--rate RATE] [--decode OUT] FILE...\n"
    "       tonvane-probe --check [--fix] [--rate RATE] PATH...\n"
    "       (RATE in Hz or kHz: 44100, 44.1 or 44.1k)\n"
    "       tonvane-probe --version\n";
constexpr std::int32_t kDefaultRate = 48000;

struct Options {
  bool check = false;
  bool fix = false;
  std::int32_t rate = kDefaultRate;
  std::optional<std::string> decode;
  std::vector<std::string> files;
};

// Printable ASCII as it is; everything else spelt out, so a report survives any
// terminal, mail or diff, and two reports compare byte by byte.
std::string Escape(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b == '\\') {
      out += "\\\\";
    } else if (b >= 0x20 && b <= 0x7E) {
      out += c;
    } else {
      out += "\\x";
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  return out;
}

class Report {
 public:
  void Text(std::string_view key, std::string_view value) {
    text_.append(key).append("=").append(Escape(value)).append("\n");
  }
  void Number(std::string_view key, std::int64_t value) { Text(key, std::to_string(value)); }
  void Flag(std::string_view key, bool value) { Text(key, value ? "1" : "0"); }
  void Seconds(std::string_view key, double seconds) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", seconds);
    Text(key, text);
  }
  void End() { text_ += "\n"; }
  const std::string& Output() const { return text_; }

 private:
  std::string text_;
};

// Readable at all: opens and gives its first byte, or is empty.
bool Readable(const std::string& name) {
  std::FILE* f = std::fopen(name.c_str(), "rb");
  if (!f) return false;
  std::uint8_t byte;
  const bool ok = std::fread(&byte, 1, 1, f) == 1 || !std::ferror(f);
  std::fclose(f);
  return ok;
}

void AddAnalysis(Report& r, const std::string& name) {
  TMPEGaudio mpeg;
  const bool result = mpeg.Analyse(name);
  const TFrameData& frame = mpeg.FrameInfo;
  r.Flag("mpeg.result", result);
  r.Number("mpeg.filesize", mpeg.FileSize);
  r.Flag("mpeg.found", frame.Found);
  r.Number("mpeg.position", frame.Position);
  r.Number("mpeg.length", frame.Length);
  r.Number("mpeg.version", frame.VersionIndex);
  r.Number("mpeg.layer", frame.LayerIndex);
  r.Number("mpeg.bitrateindex", frame.BitRateIndex);
  r.Number("mpeg.samplerateindex", frame.SampleRateIndex);
  r.Flag("mpeg.padding", frame.PaddingBit);
  r.Text("mpeg.mode", mpeg.ChannelMode());
  r.Number("mpeg.samplerate", mpeg.SampleRate());
  r.Number("mpeg.bitrate", mpeg.BitRate());
  r.Seconds("mpeg.duration", mpeg.Duration());
  r.Flag("mpeg.vbr.found", mpeg.VbrInfo.Found);
  r.Text("mpeg.vbr.id", mpeg.VbrInfo.Id);
  r.Number("mpeg.vbr.frames", mpeg.VbrInfo.Frames);
  r.Number("mpeg.vbr.bytes", mpeg.VbrInfo.Bytes);
  r.Text("mpeg.encoder", mpeg.EncoderMarker);

  const TID3v2& v2 = mpeg.ID3v2;
  r.Flag("id3v2.found", v2.TagFound);
  r.Number("id3v2.version", v2.TagVersion);
  r.Number("id3v2.size", v2.TagSize);
  r.Text("id3v2.title", v2.Title);
  r.Text("id3v2.artist", v2.Artist);
  r.Text("id3v2.album", v2.Album);
  r.Number("id3v2.track", v2.Track);
  r.Text("id3v2.year", v2.Year);
  r.Text("id3v2.genre", v2.Genre);
  r.Text("id3v2.comment", v2.Comment);
  r.Text("id3v2.composer", v2.Composer);
  r.Text("id3v2.encoder", v2.Encoder);
  r.Text("id3v2.copyright", v2.Copyright);
  r.Text("id3v2.language", v2.Language);
  r.Text("id3v2.link", v2.Link);

  const TID3v1& v1 = mpeg.ID3v1;
  r.Flag("id3v1.found", v1.TagFound);
  r.Number("id3v1.version", v1.TagVersion);
  r.Text("id3v1.title", v1.Title);
  r.Text("id3v1.artist", v1.Artist);
  r.Text("id3v1.album", v1.Album);
  r.Text("id3v1.year", v1.Year);
  r.Text("id3v1.comment", v1.Comment);
  r.Number("id3v1.track", v1.Track);
  r.Number("id3v1.genre", v1.GenreIndex);
  r.Text("id3v1.genrename", v1.GenreName());
}

// Probes one file into the report; false when it cannot be read at all.
bool Probe(const std::string& name, const Options& options, bool haveDecoder, std::FILE* decodeOut,
           Report& r) {
  const bool readable = Readable(name);
  TAudioStream stream;
  WAVEFORMATEX format{};
  const TVerdict verdict = Judge(name, options.rate, haveDecoder, stream, format);
  const bool open = verdict.Opened;
  r.Text("file", name);
  r.Flag("open", open);
  if (open) {
    r.Number("format.tag", format.wFormatTag);
    r.Number("format.channels", format.nChannels);
    r.Number("format.rate", format.nSamplesPerSec);
    r.Number("format.avgbytes", format.nAvgBytesPerSec);
    r.Number("format.blockalign", format.nBlockAlign);
    r.Number("format.bits", format.wBitsPerSample);
    r.Number("format.cbsize", format.cbSize);
    r.Number("data.start", stream.DataStart());
    r.Number("data.length", stream.DataLength());
  }
  r.Text("verdict", verdict.Kind == TVerdict::TKind::Plays ? "OK" : verdict.Message);
  if (HasExtension(name, ".mp3")) AddAnalysis(r, name);
  if (decodeOut) {
    // Two bytes per call, the smallest read, so every block edge of the stream is met;
    // the samples are the same for any size (a feeder thread asks for up to 8 KiB),
    // and a stretch without sound only takes more calls.
    std::uint64_t total = 0;
    std::uint8_t sample[2];
    for (std::int32_t n; open && (n = stream.Read(sample, 2)) != 0;) {
      if (n < 0) continue;
      std::fwrite(sample, 1, static_cast<std::size_t>(n), decodeOut);
      total += static_cast<std::uint64_t>(n);
    }
    r.Number("decoded.bytes", static_cast<std::int64_t>(total));
    r.Number("decoded.bytesread", stream.BytesRead());
  }
  r.End();
  return readable;
}

// A rate as the window lists it or as a converter takes it: 44100, 44.1 or 44.1k.
// A number without a point below 1,000 is taken as kHz too: no card runs at 48 Hz.
std::optional<std::int32_t> ParseRate(std::string text) {
  bool kilo = !text.empty() && (text.back() == 'k' || text.back() == 'K');
  if (kilo) text.pop_back();
  const std::size_t point = text.find('.');
  const std::string whole = text.substr(0, point);
  std::string fraction = point == std::string::npos ? std::string() : text.substr(point + 1);
  const auto digits = [](const std::string& s) {
    return s.find_first_not_of("0123456789") == std::string::npos;
  };
  if (whole.empty() || whole.size() > 6 || !digits(whole) || !digits(fraction) || fraction.size() > 3 ||
      (point != std::string::npos && fraction.empty()))
    return std::nullopt;
  const std::int32_t number = std::stoi(whole);
  if (point != std::string::npos || number < 1000) kilo = true;
  if (!kilo) return number;
  fraction.resize(3, '0');
  const std::int64_t hz = std::int64_t{number} * 1000 + std::stoi(fraction);
  if (hz <= 0 || hz > 10'000'000) return std::nullopt;
  return static_cast<std::int32_t>(hz);
}

std::optional<Options> ParseArguments(const std::vector<std::string>& argv) {
  const auto argc = static_cast<int>(argv.size());
  Options options;
  bool optionsEnd = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (optionsEnd || arg == "-" || arg.rfind("--", 0) != 0) {
      options.files.push_back(arg);
    } else if (arg == "--") {
      optionsEnd = true;
    } else if (arg == "--rate" && i + 1 < argc) {
      const auto rate = ParseRate(argv[++i]);
      if (!rate || *rate <= 0) return std::nullopt;
      options.rate = *rate;
    } else if (arg == "--check") {
      options.check = true;
    } else if (arg == "--fix") {
      options.fix = true;
    } else if (arg == "--decode" && i + 1 < argc && !options.decode) {
      options.decode = argv[++i];
    } else {
      return std::nullopt;
    }
  }
  if (options.files.empty() || (options.check && options.decode) || (options.fix && !options.check))
    return std::nullopt;
  return options;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  // The report is compared byte for byte with the native one: no CRLF, and decoded
  // samples must pass through untouched.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("tonvane-probe %s\n", TONVANE_VERSION);
    return 0;
  }
  const auto options = ParseArguments(ProgramArguments(argc, argv));
  if (!options) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const bool haveDecoder = LoadDecoderNearProgram();
  if (options->check) return CheckPaths(options->files, options->rate, haveDecoder, options->fix, stdout);
  std::FILE* decodeOut = nullptr;
  // With the samples on standard output, the report goes to standard error.
  std::FILE* reportOut = stdout;
  if (options->decode) {
    if (*options->decode == "-") {
      decodeOut = stdout;
      reportOut = stderr;
    } else if (!(decodeOut = std::fopen(options->decode->c_str(), "wb"))) {
      std::fprintf(stderr, "tonvane-probe: cannot write %s\n", options->decode->c_str());
      return 2;
    }
  }
  int status = 0;
  for (const std::string& name : options->files) {
    Report report;
    if (!Probe(name, *options, haveDecoder, decodeOut, report)) {
      std::fprintf(stderr, "tonvane-probe: cannot read %s\n", name.c_str());
      status = 1;
    }
    std::fwrite(report.Output().data(), 1, report.Output().size(), reportOut);
    std::fflush(reportOut);
  }
  if (decodeOut && decodeOut != stdout && std::fclose(decodeOut) != 0) {
    std::fprintf(stderr, "tonvane-probe: cannot write %s\n", options->decode->c_str());
    return 1;
  }
  return status;
}
