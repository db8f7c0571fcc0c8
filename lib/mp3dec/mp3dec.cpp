// mp3dec over libmpg123's feed interface: the caller's block holds our small state,
// libmpg123 keeps its decoder (and the undecoded input) on its own heap.
#define MP3DEC_BUILDING
#include "mp3dec.h"

#include <cstddef>
#include <cstdint>
#include <new>

#include <mpg123.h>

namespace {

// Tells a block that InitMP3 prepared from one it never saw or already released;
// the block arrives uninitialised from the caller's allocator.
constexpr std::uint32_t kLiveTag = 0x4D503344;  // "MP3D"

struct State {
  std::uint32_t tag;
  mpg123_handle* handle;
};
static_assert(sizeof(State) <= MP3DEC_STATE_SIZE, "our state must fit the caller's block");
static_assert(alignof(State) <= 8, "the caller's block is only guaranteed 8-byte alignment");

State* live(void* block) {
  auto* s = static_cast<State*>(block);
  return s != nullptr && s->tag == kLiveTag && s->handle != nullptr ? s : nullptr;
}

bool library_ready() {
#if MPG123_API_VERSION < 46
  // Before 1.27 libmpg123 built its tables in mpg123_init, once per process.
  static const bool ready = mpg123_init() == MPG123_OK;
  return ready;
#else
  return true;
#endif
}

// 16-bit signed samples only, in whatever channel count and at whatever rate the
// stream has: the player wants the file's PCM as it is, never resampled or remixed.
bool configure(mpg123_handle* h) {
  if (mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET, 0) != MPG123_OK) return false;
  if (mpg123_format_none(h) != MPG123_OK) return false;
  const long* rates = nullptr;
  std::size_t count = 0;
  mpg123_rates(&rates, &count);
  for (std::size_t i = 0; i < count; ++i) {
    if (mpg123_format(h, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16) != MPG123_OK) {
      return false;
    }
  }
  return mpg123_open_feed(h) == MPG123_OK;
}

}  // namespace

extern "C" {

int MP3DEC_CALL InitMP3(void* block) {
  if (block == nullptr) return 0;
  auto* s = new (block) State{0, nullptr};
  if (!library_ready()) return 0;
  mpg123_handle* h = mpg123_new(nullptr, nullptr);
  if (h == nullptr) return 0;
  if (!configure(h)) {
    mpg123_delete(h);
    return 0;
  }
  s->handle = h;
  s->tag = kLiveTag;
  return 1;
}

void MP3DEC_CALL ExitMP3(void* block) {
  State* s = live(block);
  if (s == nullptr) return;
  mpg123_delete(s->handle);
  s->handle = nullptr;
  s->tag = 0;
}

int32_t MP3DEC_CALL decodeMP3(void* block, const void* in, int32_t in_size, void* out, int32_t out_capacity,
                              int32_t* produced) {
  if (produced != nullptr) *produced = 0;
  State* s = live(block);
  if (s == nullptr || produced == nullptr || out == nullptr || out_capacity <= 0 || in_size < 0 ||
      (in == nullptr && in_size > 0)) {
    return MP3DEC_ERROR;
  }
  if (in_size > 0 && mpg123_feed(s->handle, static_cast<const unsigned char*>(in),
                                 static_cast<std::size_t>(in_size)) != MPG123_OK) {
    return MP3DEC_ERROR;
  }
  for (;;) {
    std::size_t done = 0;
    const int rc = mpg123_read(s->handle, out, static_cast<std::size_t>(out_capacity), &done);
    if (done > 0) {
      // Whatever rc says, these bytes are PCM; what follows them shows on the next call.
      *produced = static_cast<int32_t>(done);
      return MP3DEC_OK;
    }
    switch (rc) {
      case MPG123_NEW_FORMAT:
        // The format is fixed by configure(); the first frame's samples are next.
      case MPG123_OK:
        continue;
      case MPG123_NEED_MORE:
      case MPG123_DONE:
        return MP3DEC_NEED_MORE;
      default:
        return MP3DEC_ERROR;
    }
  }
}

}  // extern "C"
