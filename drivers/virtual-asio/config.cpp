#include "config.h"

#include <windows.h>

#include <cctype>
#include <charconv>
#include <stdexcept>

namespace tonvane::vasio {
namespace {

std::string Trim(const std::string& text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(begin, end - begin);
}

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> items;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t comma = text.find(',', start);
    const std::string item =
        Trim(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (!item.empty()) items.push_back(item);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return items;
}

[[noreturn]] void Bad(const std::string& key, const std::string& text) {
  throw std::invalid_argument("bad value for " + key + ": \"" + text + "\"");
}

std::int64_t ParseInt(const std::string& key, const std::string& raw, std::int64_t min, std::int64_t max) {
  const std::string text = Trim(raw);
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < min || value > max)
    Bad(key, raw);
  return value;
}

// Environment name of a key: "SampleType" -> "TONVANE_VASIO_SAMPLE_TYPE".
std::string EnvironmentName(const std::string& key) {
  std::string name = "TONVANE_VASIO_";
  for (std::size_t i = 0; i < key.size(); ++i) {
    const char c = key[i];
    if (i > 0 && std::isupper(static_cast<unsigned char>(c)) &&
        std::islower(static_cast<unsigned char>(key[i - 1])))
      name += '_';
    name += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return name;
}

// rateChange: setSampleRate refuses any rate but the current one, so an open at the
// current rate succeeds and a later pick of another rate fails.
const std::set<std::string> kFailable = {"init",          "getChannels",   "getChannelInfo",
                                         "canSampleRate", "setSampleRate", "rateChange",
                                         "getBufferSize", "createBuffers", "start"};

}  // namespace

TConfig ParseConfig(const TConfigSource& source) {
  TConfig config;
  if (auto v = source("Outputs")) config.Outputs = static_cast<std::int32_t>(ParseInt("Outputs", *v, 0, 256));
  if (auto v = source("Inputs")) config.Inputs = static_cast<std::int32_t>(ParseInt("Inputs", *v, 0, 256));
  if (auto v = source("SampleType"))
    config.SampleType = static_cast<std::int32_t>(ParseInt("SampleType", *v, INT32_MIN, INT32_MAX));
  if (auto v = source("Rates")) {
    config.Rates.clear();
    try {
      for (const std::string& item : SplitList(*v))
        config.Rates.push_back(static_cast<double>(ParseInt("Rates", item, 1, 10000000)));
    } catch (const std::invalid_argument&) {
      Bad("Rates", *v);  // name the whole list, as it was written
    }
    if (config.Rates.empty()) Bad("Rates", *v);
  }
  if (auto v = source("Buffer"))
    config.Buffer = static_cast<std::int32_t>(ParseInt("Buffer", *v, 1, 1 << 20));
  if (auto v = source("Clock")) {
    const std::string clock = Trim(*v);
    if (clock == "realtime")
      config.Realtime = true;
    else if (clock == "fast")
      config.Realtime = false;
    else
      Bad("Clock", *v);
  }
  if (auto v = source("Fail")) {
    for (const std::string& item : SplitList(*v)) {
      if (kFailable.count(item) == 0) Bad("Fail", *v);
      config.Fail.insert(item);
    }
  }
  if (auto v = source("RecordDir")) config.RecordDir = Trim(*v);
  if (auto v = source("MaxBuffers")) config.MaxBuffers = ParseInt("MaxBuffers", *v, 0, INT64_MAX);
  if (auto v = source("SyncFirst")) config.SyncFirst = ParseInt("SyncFirst", *v, 0, 1) == 1;
  if (auto v = source("LateSwitch")) config.LateSwitch = ParseInt("LateSwitch", *v, 0, 1) == 1;
  if (auto v = source("RecordAppend")) config.RecordAppend = ParseInt("RecordAppend", *v, 0, 1) == 1;
  constexpr std::int64_t kDay = 24LL * 3600 * 1000;
  if (auto v = source("ResetAfter")) config.ResetAfter = ParseInt("ResetAfter", *v, 0, kDay);
  if (auto v = source("ResetFrom")) {
    const std::string from = Trim(*v);
    if (from == "switch")
      config.ResetFromThread = false;
    else if (from == "thread")
      config.ResetFromThread = true;
    else
      Bad("ResetFrom", *v);
  }
  if (auto v = source("ResetBuffer"))
    config.ResetBuffer = static_cast<std::int32_t>(ParseInt("ResetBuffer", *v, 0, 1 << 20));
  if (auto v = source("DropAfter")) config.DropAfter = ParseInt("DropAfter", *v, 0, kDay);
  if (auto v = source("DropFor")) config.DropFor = ParseInt("DropFor", *v, 0, kDay);
  return config;
}

TConfig LoadConfig(const std::string& iniPath) {
  return ParseConfig([&iniPath](const std::string& key) -> std::optional<std::string> {
    char value[4096];
    const std::string env = EnvironmentName(key);
    // The Win32 environment, not the C runtime's copy: a test sets it with
    // SetEnvironmentVariable in the same process just before it opens the driver.
    const DWORD n = GetEnvironmentVariableA(env.c_str(), value, sizeof value);
    if (n > 0 && n < sizeof value) return std::string(value, n);
    const char* const kUnset = "\x01";
    GetPrivateProfileStringA("VirtualAsio", key.c_str(), kUnset, value, sizeof value, iniPath.c_str());
    if (std::string(value) == kUnset) return std::nullopt;
    return std::string(value);
  });
}

}  // namespace tonvane::vasio
