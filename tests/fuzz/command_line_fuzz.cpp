// Any line the host may send: the interpreter must answer "OK" or "ERR: ..." within
// its longest answer and never crash, hang or hand an invalid channel index to the
// channel operations.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "commands/command_language.h"

namespace {

class Channels : public tonvane::IChannelControl {
 public:
  bool DriverOpen() const override { return true; }
  int ChannelCount() const override { return 8; }
  bool SampleTypeWritten() const override { return true; }
  bool PlayFile(int index, const std::string& fileName, std::optional<std::int32_t> level,
                std::string& unshown) override {
    Check(index);
    if (level && *level > 0) std::abort();
    if (index % 4 == 1) unshown = "Sound must be mono: " + fileName;
    return index % 2 == 0;
  }
  void StopChannel(int index) override { Check(index); }
  void SetChannelLevel(int index, std::int32_t level) override {
    Check(index);
    if (level > 0) std::abort();
  }

 private:
  static void Check(int index) {
    if (index < 0 || index >= 8) std::abort();
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  Channels channels;
  const std::string answer = tonvane::ExecuteCommandLine(channels, line);
  if (answer != "OK" && answer.rfind("ERR: ", 0) != 0) std::abort();
  // The host's buffer holds no more (a failed Play's answer carries its file name).
  if (answer.size() > tonvane::kMaxAnswerLength) std::abort();
  for (const auto& token : tonvane::Tokenize(line))
    if (token.size() > size) std::abort();
  return 0;
}
