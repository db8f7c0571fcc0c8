#pragma once

#include <cstdint>

namespace tonvane {

// What the channel operations need of a channel's strip in the window, on the host's
// thread. The window's strip implements it; tests give their own or none.
class IChannelStrip {
 public:
  virtual ~IChannelStrip() = default;
  virtual void SetPlaying(bool playing) = 0;
  // Percentage of the data played; may pass 100 for an MP3 file's estimated length.
  virtual void ShowProgress(int percent) = 0;
  // Moves the slider; a change of position comes back through the strip's level event.
  virtual void SetLevel(std::int32_t level) = 0;
  // The slider's position.
  virtual std::int32_t Level() const = 0;
};

}  // namespace tonvane
