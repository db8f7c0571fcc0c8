#pragma once

// The folder of encoded files that make-tagged-audio fills, for the analyser and tag
// reader tests; hand-made bytes go to each test's scratch folder.
#include <string>

#include "file_bytes.h"
#include "scratch_dir.h"

namespace tonvane::testing {

using Bytes = std::vector<std::uint8_t>;

inline std::string DataFile(const std::string& name) { return std::string(TONVANE_AUDIO_DATA) + "/" + name; }

}  // namespace tonvane::testing
