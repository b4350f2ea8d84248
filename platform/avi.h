// Stand-in for the AVI writer library: writes the frames of one recording as
// an AVI file (RIFF "AVI ", a video stream and, when the recording has
// sound, a sound stream) on an output stream.
//
// Each frame is handed over as two writes: its 88-byte frame header, then
// its data (header.data_len bytes; the data may come in several writes).
// Nothing is written before the first picture, whose header fixes the
// codec, the picture size, the frame rate and the sound format of the file.
// Audio frames after it become the sound stream's chunks ("01wb", between
// the pictures' "00dc" chunks in the order they come); audio frames before
// it, of another format, or of a recording without sound are skipped.
//
// The output may be a pipe. The stream headers are written with the sizes
// and frame counts a reader takes as "until the end of the file" (0), and
// no index: the file plays as it arrives. When the output can seek (a
// regular file) the close patches the sizes and counts and appends the
// index, as long as the file stays within what the container can count;
// the patches count from where the file began on the output, so whatever
// the owner wrote before it stays as written.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

// Frame header of the recording stream (88 bytes, little-endian). Only
// data_len is read by the stream's receiver; the writer reads the video
// fields of the first picture and the type and key flag of every frame.
//
// Every header also names the recording's sound (audio_codec, 0 for none,
// with its sample rate and channel count): the first picture's header
// decides whether the file gets a sound stream, and an audio frame's data
// is a run of samples in that format.
struct ZrAviFrameHeader {
  char magic[4];       // "ZRFH"
  int32_t frame_type;  // ZR_AVI_FRAME_*
  int32_t codec;       // ZR_AVI_CODEC_*
  int32_t width;       // pixels
  int32_t height;
  int32_t fps;         // frames per second, 1..120
  int32_t key_frame;   // 1 for a frame that decodes on its own
  int32_t channel;
  int64_t pts_ms;      // capture time, ms since the epoch
  int32_t data_len;    // bytes of frame data that follow the header
  int32_t seq;         // frame number in the recording
  int32_t audio_codec;     // ZR_AVI_AUDIO_*
  int32_t audio_rate;      // samples per second, 8000..48000
  int32_t audio_channels;  // 1 or 2
  uint8_t reserved60[12];
  uint32_t data_ref;   // the receiver's reference to the data (meaningless in a file)
  uint8_t reserved76[12];
};
static_assert(sizeof(ZrAviFrameHeader) == 88, "frame header is 88 bytes");
static_assert(offsetof(ZrAviFrameHeader, pts_ms) == 32, "frame header: time at 32");
static_assert(offsetof(ZrAviFrameHeader, data_len) == 40, "frame header: data length at 40");
static_assert(offsetof(ZrAviFrameHeader, audio_codec) == 48, "frame header: sound format at 48");
static_assert(offsetof(ZrAviFrameHeader, data_ref) == 72, "frame header: data reference at 72");

constexpr int32_t ZR_AVI_FRAME_VIDEO = 1;
constexpr int32_t ZR_AVI_FRAME_AUDIO = 2;  // samples of the recording's sound

constexpr int32_t ZR_AVI_AUDIO_NONE = 0;
constexpr int32_t ZR_AVI_AUDIO_G711A = 1;  // 8-bit A-law
constexpr int32_t ZR_AVI_AUDIO_G711U = 2;  // 8-bit mu-law
constexpr int32_t ZR_AVI_AUDIO_PCM16 = 3;  // 16-bit signed little-endian

constexpr int32_t ZR_AVI_CODEC_BGR24 = 0;  // raw 24-bit BGR, rows bottom to top (as a DIB keeps them)
constexpr int32_t ZR_AVI_CODEC_H264 = 1;
constexpr int32_t ZR_AVI_CODEC_H265 = 2;
constexpr int32_t ZR_AVI_CODEC_MJPEG = 3;

// Largest frame the writer takes (bigger frames are skipped, not written).
constexpr int32_t ZR_AVI_MAX_FRAME = 16 * 1024 * 1024;
// Largest picture side.
constexpr int32_t ZR_AVI_MAX_SIDE = 8192;

// Fills the magic text of a frame header.
void zr_avi_frame_header_init(ZrAviFrameHeader* h);

struct ZrAvi;

// Starts a writer on the stream (not owned: the caller closes it after
// zr_avi_close_fp). Null for a null stream or when memory runs out.
ZrAvi* zr_avi_open_fp(FILE* fp);
// The same with a call made once, just before the first byte of the file
// (when the first picture comes; never for a recording without one): the
// owner writes what must precede the file there, e.g. reply headers.
ZrAvi* zr_avi_open_fp_ex(FILE* fp, void (*on_start)(void* ctx), void* ctx);
// Appends bytes of the frame stream (headers and data, in order). 0, or -1
// once a write to the output failed (the writer then takes nothing more).
int zr_avi_write_fp_ex(ZrAvi* avi, const void* bytes, int len);
// Finishes the file (sizes and index where the output can seek), flushes
// the stream and releases the writer. 0, or -1 when an output write failed.
int zr_avi_close_fp(ZrAvi* avi);

// Counters of a writer, for its owner.
struct ZrAviStats {
  int64_t frames_written = 0;        // video frames in the file
  int64_t sound_frames_written = 0;  // audio frames in the file
  int64_t frames_skipped = 0;  // frames of another size, codec or sound format, oversized frames
  int64_t bytes_written = 0;   // bytes of the AVI file
  bool patched = false;        // the close wrote the sizes and the index
};
ZrAviStats zr_avi_stats(const ZrAvi* avi);
// zr_avi_close_fp that also gives the final counters (out may be null).
int zr_avi_close_fp_ex(ZrAvi* avi, ZrAviStats* out);
