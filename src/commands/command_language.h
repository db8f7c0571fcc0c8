#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "commands/channel_control.h"

namespace tonvane {

// The help text handed to the host: six lines joined by single carriage returns.
extern const std::string_view kCommandHelp;

// Splits a command line into tokens. Separators are the characters 1 to 32. A token
// that starts with a double quote runs to the next lone double quote ("" inside it
// stands for one "), may hold separators, and takes the rest of the line when it is
// never closed. The line ends at its first zero character.
std::vector<std::string> Tokenize(std::string_view line);

// Runs one command line against the channels and answers "OK" or "ERR: <message>".
// Never throws.
std::string ExecuteCommandLine(IChannelControl& target, std::string_view line);

}  // namespace tonvane
