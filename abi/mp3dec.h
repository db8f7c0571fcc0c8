// mp3dec: an MPEG audio (Layer I, II, III) decoder with three entry points, for
// callers that load it at run time (LoadLibrary/GetProcAddress, dlopen/dlsym).
//
// The caller owns a state block of MP3DEC_STATE_SIZE bytes and passes it to every
// call; the decoder keeps everything it needs between calls there (undecoded input
// included). One block decodes one stream; blocks are independent of each other.
//
// Call order per stream: InitMP3 once, decodeMP3 any number of times, ExitMP3 once
// before the block is freed or initialised again. Every entry point is cdecl and
// exported under its plain name.
#ifndef TONVANE_MP3DEC_H
#define TONVANE_MP3DEC_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define MP3DEC_CALL __cdecl
#else
#define MP3DEC_CALL
#endif

#define MP3DEC_STATE_SIZE 40000

// decodeMP3's status values. Only 0 carries meaning for a caller that follows the
// protocol; the others tell apart why nothing was produced.
#define MP3DEC_OK 0         // output written; *produced holds its byte count; call again
#define MP3DEC_NEED_MORE 1  // all input given so far is used up: feed the next block
#define MP3DEC_ERROR (-1)   // bad arguments, a block not initialised, or a decoder failure

// Prepares the block for a new stream. Returns 1 when the block is ready, 0 when
// not (the block is then still safe to pass to ExitMP3). The result is a 32-bit
// int holding 0 or 1, so a caller that reads only the low byte as a one-byte
// Boolean gets the same answer.
typedef int(MP3DEC_CALL* InitMP3Func)(void* state);

// Releases what InitMP3 acquired. Harmless on a block whose InitMP3 failed, and
// on a block already released.
typedef void(MP3DEC_CALL* ExitMP3Func)(void* state);

// Takes in[0..in_size) as the next bytes of the stream (in may be null with
// in_size 0 to drain), and writes at most out_capacity bytes of 16-bit signed PCM,
// native byte order, channels interleaved, at the stream's own rate and channel
// count, into out. Returns MP3DEC_OK with *produced > 0 while there is output;
// any other status with *produced = 0 once nothing more can be produced from the
// input given so far. Input is copied: the caller may reuse its buffer at once.
typedef int32_t(MP3DEC_CALL* DecodeMP3Func)(void* state, const void* in, int32_t in_size, void* out,
                                            int32_t out_capacity, int32_t* produced);

// Prototypes for the library itself and for programs linked against it; the plug-in
// loads the library at run time and needs only the typedefs above.
#if defined(MP3DEC_BUILDING) || defined(MP3DEC_LINKED)
#if defined(_WIN32)
#define MP3DEC_API
#else
#define MP3DEC_API __attribute__((visibility("default")))
#endif
MP3DEC_API int MP3DEC_CALL InitMP3(void* state);
MP3DEC_API void MP3DEC_CALL ExitMP3(void* state);
MP3DEC_API int32_t MP3DEC_CALL decodeMP3(void* state, const void* in, int32_t in_size, void* out,
                                         int32_t out_capacity, int32_t* produced);
#endif

#ifdef __cplusplus
}
#endif

#endif
