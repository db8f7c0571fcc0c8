#pragma once

#include <stdexcept>
#include <string>

namespace tonvane {

// The one failure type raised inside the plug-in. It carries the message that a
// boundary shows to the user or hands to the host ("ERR: <message>").
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace tonvane
