#pragma once

#include <cstddef>
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

// The longest answer, without its terminating zero. The host copies an answer into
// a buffer of its own; with the error boxes on no answer passes 39 characters, with
// them off a failed Play's answer carries its file name and is cut to this length.
inline constexpr std::size_t kMaxAnswerLength = 255;

// Runs one command line against the channels and answers "OK" or "ERR: <message>",
// at most kMaxAnswerLength characters. Never throws.
std::string ExecuteCommandLine(IChannelControl& target, std::string_view line);

}  // namespace tonvane
