#include "commands/command_language.h"

#include <algorithm>
#include <optional>

#include "base/ascii.h"
#include "base/exception.h"
#include "base/str_to_int.h"
#include "commands/format_check.h"

namespace tonvane {

const std::string_view kCommandHelp =
    "Play <channel> <filename> [<level>]\r"
    "Stop <channel>\r"
    "Level <channel> <level>\r"
    "\r"
    "Filenames must be in double quotes if they contains spaces\r"
    "Levels are in dB (0 max, -50 min)";

namespace {

bool IsSeparator(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u >= 1 && u <= 32;
}

std::string UpperCaseAscii(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), ToUpperAscii);
  return s;
}

int ParseChannel(const IChannelControl& target, const std::string& token) {
  if (const auto n = TryStrToInt(token)) {
    const std::int64_t index = std::int64_t{*n} - 1;
    if (index >= 0 && index < target.ChannelCount()) return static_cast<int>(index);
  }
  throw Exception("Invalid channel number");
}

// A level token's value when it is a valid level.
std::optional<std::int32_t> LevelOf(const std::string& token) {
  const auto level = TryStrToInt(token);
  if (!level || *level > 0) return std::nullopt;
  return level;
}

// A failure of the channels themselves keeps its own message: only a level that does
// not parse, or is above 0, is "Invalid level".
void ParseLevel(IChannelControl& target, int index, const std::string& token) {
  const auto level = LevelOf(token);
  if (!level) throw Exception("Invalid level");
  target.SetChannelLevel(index, *level);
}

void Run(IChannelControl& target, const std::vector<std::string>& tokens) {
  if (tokens.empty()) throw Exception("No command specified");
  const std::string keyword = UpperCaseAscii(tokens[0]);
  if (keyword == "PLAY") {
    // No box: the host's cue engine goes on, and this Play never sounds later.
    if (target.DeviceStopped()) throw Exception(kDeviceStopped);
    if (!target.DriverOpen()) throw Exception("No ASIO device open");
    if (tokens.size() < 3) throw Exception("Invalid Play command");
    const int index = ParseChannel(target, tokens[1]);
    CheckPlayFileExists(tokens[2]);
    // A valid level goes with the file, so that no buffer switch plays the new sound
    // at the channel's old level; a bad one fails the command once the sound plays.
    const std::optional<std::int32_t> level = tokens.size() > 3 ? LevelOf(tokens[3]) : std::nullopt;
    // The open has said so in its own box; no sound of a Play could be heard.
    if (!target.SampleTypeWritten()) throw Exception("Required sample type not supported");
    std::string unshown;
    if (!target.PlayFile(index, tokens[2], level, unshown)) {
      if (unshown.empty()) throw Exception("Error playing ASIO sound");
      throw Exception("Error playing ASIO sound: " + unshown);
    }
    if (tokens.size() > 3 && !level) throw Exception("Invalid level");
  } else if (keyword == "STOP") {
    if (tokens.size() < 2) throw Exception("Invalid Stop command");
    target.StopChannel(ParseChannel(target, tokens[1]));
  } else if (keyword == "LEVEL") {
    if (tokens.size() < 3) throw Exception("Invalid Level command");
    const int index = ParseChannel(target, tokens[1]);
    ParseLevel(target, index, tokens[2]);
  } else {
    throw Exception("Unknown command");
  }
}

}  // namespace

std::vector<std::string> Tokenize(std::string_view line) {
  line = line.substr(0, line.find('\0'));
  std::vector<std::string> tokens;
  std::size_t i = 0;
  const std::size_t n = line.size();
  while (true) {
    while (i < n && IsSeparator(line[i])) ++i;
    if (i == n) break;
    std::string token;
    if (line[i] == '"') {
      ++i;
      while (i < n) {
        if (line[i] == '"') {
          if (i + 1 < n && line[i + 1] == '"') {
            token += '"';
            i += 2;
            continue;
          }
          ++i;  // the closing quote
          break;
        }
        token += line[i++];
      }
    } else {
      while (i < n && !IsSeparator(line[i])) token += line[i++];
    }
    tokens.push_back(std::move(token));
  }
  return tokens;
}

std::string ExecuteCommandLine(IChannelControl& target, std::string_view line) {
  try {
    Run(target, Tokenize(line));
    return "OK";
  } catch (const std::exception& e) {
    return (std::string("ERR: ") + e.what()).substr(0, kMaxAnswerLength);
  } catch (...) {
    return "ERR: Unknown error";
  }
}

}  // namespace tonvane
