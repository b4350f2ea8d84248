#include "platform/avi.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>
#include <new>
#include <vector>

namespace {
// Layout of the headers this writer puts before the frames (offsets from
// the start of the file). The sound stream's list, when there is one,
// follows the video stream's; the "movi" list comes after both.
constexpr long kRiffSizeAt = 4;
constexpr long kAvihFlagsAt = 44;
constexpr long kAvihFramesAt = 48;
constexpr long kVideoLengthAt = 140;
constexpr uint32_t kVideoListSize = 116;  // "strl", strh and strf (BITMAPINFOHEADER)
constexpr uint32_t kSoundListSize = 94;   // "strl", strh and strf (WAVEFORMATEX)
constexpr long kStrhLengthOffset = 32;    // length field inside a strh chunk's data
constexpr size_t kMaxHeadersSize = 340;

constexpr uint32_t kAvifHasIndex = 0x10;
constexpr uint32_t kAvifIsInterleaved = 0x100;
constexpr uint32_t kIndexKeyFrame = 0x10;
// Index entries kept for a seekable output (16 bytes each); a longer
// recording is written without an index, which readers do without.
constexpr size_t kMaxIndexEntries = 1u << 20;
// The container counts sizes in 32 bits.
constexpr int64_t kMaxRiffBytes = 0xFFFFFFF0LL;

struct IndexEntry {
  uint32_t offset;
  uint32_t size;
  uint32_t flags;
  bool sound;
};

// The sound of a file: its samples as the frame headers name them.
struct Sound {
  int32_t codec = ZR_AVI_AUDIO_NONE;
  int32_t rate = 0;
  int32_t channels = 0;
};

bool sound_valid(const Sound& s) {
  return (s.codec == ZR_AVI_AUDIO_G711A || s.codec == ZR_AVI_AUDIO_G711U || s.codec == ZR_AVI_AUDIO_PCM16) &&
         s.rate >= 8000 && s.rate <= 48000 && (s.channels == 1 || s.channels == 2);
}
Sound sound_of(const ZrAviFrameHeader& h) { return Sound{h.audio_codec, h.audio_rate, h.audio_channels}; }
bool same_sound(const Sound& a, const Sound& b) {
  return a.codec == b.codec && a.rate == b.rate && a.channels == b.channels;
}
// WAVEFORMATEX fields of a sound.
uint16_t wave_tag(const Sound& s) { return s.codec == ZR_AVI_AUDIO_PCM16 ? 1 : s.codec == ZR_AVI_AUDIO_G711A ? 6 : 7; }
uint16_t sample_bits(const Sound& s) { return s.codec == ZR_AVI_AUDIO_PCM16 ? 16 : 8; }
uint16_t block_align(const Sound& s) { return static_cast<uint16_t>(s.channels * sample_bits(s) / 8); }

void put16(std::vector<uint8_t>* b, uint32_t v) {
  b->push_back(static_cast<uint8_t>(v));
  b->push_back(static_cast<uint8_t>(v >> 8));
}
void put32(std::vector<uint8_t>* b, uint32_t v) {
  put16(b, v & 0xFFFF);
  put16(b, v >> 16);
}
void fourcc(std::vector<uint8_t>* b, const char* cc) { b->insert(b->end(), cc, cc + 4); }
void le32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

const char* codec_fourcc(int32_t codec) {
  switch (codec) {
    case ZR_AVI_CODEC_H264: return "H264";
    case ZR_AVI_CODEC_H265: return "HEVC";
    case ZR_AVI_CODEC_MJPEG: return "MJPG";
    default: return nullptr;
  }
}

bool codec_known(int32_t codec) { return codec == ZR_AVI_CODEC_BGR24 || codec_fourcc(codec); }

uint32_t raw_frame_size(int32_t width, int32_t height) {
  const uint32_t stride = ((static_cast<uint32_t>(width) * 24 + 31) / 32) * 4;
  return stride * static_cast<uint32_t>(height);
}

enum class Part { Header, Data, Skip };
}  // namespace

struct ZrAvi {
  FILE* fp = nullptr;
  void (*on_start)(void*) = nullptr;
  void* on_start_ctx = nullptr;
  bool failed = false;
  bool started = false;
  bool seekable = false;
  int64_t base = 0;  // output offset of "RIFF" (seekable outputs), taken at the start
  int64_t pos = 0;   // bytes of the AVI file written
  ZrAviFrameHeader first{};
  uint32_t raw_size = 0;
  uint32_t max_chunk = 0;
  Sound sound;                // the file's sound stream (codec NONE: none)
  int64_t sound_bytes = 0;    // bytes of sound in the file
  long sound_length_at = 0;   // its strh length field
  long movi_size_at = 0;
  long movi_at = 0;           // the "movi" fourcc: index offsets count from here

  Part part = Part::Header;
  uint8_t head[sizeof(ZrAviFrameHeader)] = {};
  size_t head_fill = 0;
  int64_t remaining = 0;  // data bytes of the current frame still to come
  bool cur_key = false;
  bool cur_sound = false;
  uint32_t cur_len = 0;
  int64_t cur_at = 0;

  std::vector<IndexEntry> index;
  bool index_ok = true;
  ZrAviStats stats;
};

namespace {
bool out(ZrAvi* a, const void* p, size_t n) {
  if (a->failed) return false;
  if (n && std::fwrite(p, 1, n, a->fp) != n) {
    a->failed = true;
    return false;
  }
  a->pos += static_cast<int64_t>(n);
  return true;
}

bool write_headers(ZrAvi* a) {
  const ZrAviFrameHeader& f = a->first;
  const int32_t fps = f.fps >= 1 && f.fps <= 120 ? f.fps : 25;
  const char* cc = codec_fourcc(f.codec);
  const uint32_t image = f.codec == ZR_AVI_CODEC_BGR24 ? a->raw_size : 0;
  const bool sound = a->sound.codec != ZR_AVI_AUDIO_NONE;
  std::vector<uint8_t> b;
  b.reserve(kMaxHeadersSize);
  fourcc(&b, "RIFF");
  put32(&b, 0);  // until the end of the file; patched where the output seeks
  fourcc(&b, "AVI ");
  fourcc(&b, "LIST");
  put32(&b, 4 + 64 + 8 + kVideoListSize + (sound ? 8 + kSoundListSize : 0));
  fourcc(&b, "hdrl");
  fourcc(&b, "avih");
  put32(&b, 56);
  put32(&b, static_cast<uint32_t>(1000000 / fps));  // microseconds per frame
  put32(&b, 0);                                      // max bytes per second
  put32(&b, 0);                                      // padding granularity
  put32(&b, kAvifIsInterleaved);
  put32(&b, 0);  // total frames: patched
  put32(&b, 0);  // initial frames
  put32(&b, sound ? 2 : 1);  // streams
  put32(&b, a->max_chunk);
  put32(&b, static_cast<uint32_t>(f.width));
  put32(&b, static_cast<uint32_t>(f.height));
  for (int i = 0; i < 4; ++i) put32(&b, 0);
  fourcc(&b, "LIST");
  put32(&b, kVideoListSize);
  fourcc(&b, "strl");
  fourcc(&b, "strh");
  put32(&b, 56);
  fourcc(&b, "vids");
  if (cc) fourcc(&b, cc);
  else put32(&b, 0);
  put32(&b, 0);  // flags
  put16(&b, 0);  // priority
  put16(&b, 0);  // language
  put32(&b, 0);  // initial frames
  put32(&b, 1);  // scale
  put32(&b, static_cast<uint32_t>(fps));  // rate
  put32(&b, 0);  // start
  put32(&b, 0);  // length: patched
  put32(&b, a->max_chunk);
  put32(&b, 0xFFFFFFFFu);  // quality: default
  put32(&b, 0);            // sample size: varies
  put16(&b, 0);
  put16(&b, 0);
  put16(&b, static_cast<uint32_t>(f.width));
  put16(&b, static_cast<uint32_t>(f.height));
  fourcc(&b, "strf");
  put32(&b, 40);
  put32(&b, 40);  // header size
  put32(&b, static_cast<uint32_t>(f.width));
  put32(&b, static_cast<uint32_t>(f.height));
  put16(&b, 1);   // planes
  put16(&b, 24);  // bits per pixel
  if (cc) fourcc(&b, cc);
  else put32(&b, 0);  // uncompressed
  put32(&b, image);
  for (int i = 0; i < 4; ++i) put32(&b, 0);
  if (sound) {
    const Sound& s = a->sound;
    const uint32_t align = block_align(s);
    const uint32_t per_second = static_cast<uint32_t>(s.rate) * align;
    fourcc(&b, "LIST");
    put32(&b, kSoundListSize);
    fourcc(&b, "strl");
    fourcc(&b, "strh");
    put32(&b, 56);
    a->sound_length_at = static_cast<long>(b.size()) + kStrhLengthOffset;
    fourcc(&b, "auds");
    put32(&b, 0);           // handler
    put32(&b, 0);           // flags
    put16(&b, 0);           // priority
    put16(&b, 0);           // language
    put32(&b, 0);           // initial frames
    put32(&b, align);       // scale: one block of samples ...
    put32(&b, per_second);  // ... of rate / scale per second
    put32(&b, 0);           // start
    put32(&b, 0);           // length in blocks: patched
    put32(&b, per_second);  // suggested buffer: one second
    put32(&b, 0xFFFFFFFFu);
    put32(&b, align);  // sample size
    for (int i = 0; i < 4; ++i) put16(&b, 0);
    fourcc(&b, "strf");
    put32(&b, 18);
    put16(&b, wave_tag(s));
    put16(&b, static_cast<uint32_t>(s.channels));
    put32(&b, static_cast<uint32_t>(s.rate));
    put32(&b, per_second);
    put16(&b, align);
    put16(&b, sample_bits(s));
    put16(&b, 0);  // no extra bytes
  }
  fourcc(&b, "LIST");
  a->movi_size_at = static_cast<long>(b.size());
  put32(&b, 0);  // until the end of the file; patched
  a->movi_at = static_cast<long>(b.size());
  fourcc(&b, "movi");
  return out(a, b.data(), b.size());
}

// The file starts: the owner's last words before it, then where it begins
// on a seekable output, then its headers.
bool start_file(ZrAvi* a) {
  if (a->on_start) a->on_start(a->on_start_ctx);
  if (a->seekable) {
    const off_t at = std::fflush(a->fp) == 0 ? ftello(a->fp) : -1;
    if (at >= 0) a->base = at;
    else a->seekable = false;
  }
  if (!write_headers(a)) return false;
  a->started = true;
  return true;
}

// Takes the header of the next frame: decides whether it is written, and
// writes its chunk header.
void begin_frame(ZrAvi* a) {
  ZrAviFrameHeader h;
  std::memcpy(&h, a->head, sizeof h);
  a->head_fill = 0;
  a->remaining = h.data_len > 0 ? h.data_len : 0;
  const bool sized = h.data_len > 0 && h.data_len <= ZR_AVI_MAX_FRAME;
  // Sound goes in only behind the first picture, in the file's format.
  const bool sound = h.frame_type == ZR_AVI_FRAME_AUDIO && sized && a->started &&
                     a->sound.codec != ZR_AVI_AUDIO_NONE && same_sound(a->sound, sound_of(h));
  bool take = h.frame_type == ZR_AVI_FRAME_VIDEO && sized;
  if (take && !a->started) {
    take = codec_known(h.codec) && h.width > 0 && h.width <= ZR_AVI_MAX_SIDE && h.height > 0 &&
           h.height <= ZR_AVI_MAX_SIDE;
    if (take) {
      a->first = h;
      a->raw_size = raw_frame_size(h.width, h.height);
      a->max_chunk = h.codec == ZR_AVI_CODEC_BGR24 ? a->raw_size : static_cast<uint32_t>(h.data_len);
      if (sound_valid(sound_of(h))) a->sound = sound_of(h);
    }
  }
  if (take && h.codec != a->first.codec) take = false;
  if (take && h.codec == ZR_AVI_CODEC_BGR24 && static_cast<uint32_t>(h.data_len) != a->raw_size) take = false;
  if (!take && !sound) {
    ++a->stats.frames_skipped;
    a->part = a->remaining > 0 ? Part::Skip : Part::Header;
    return;
  }
  if (!a->started && !start_file(a)) return;
  a->cur_len = static_cast<uint32_t>(h.data_len);
  a->cur_sound = sound;
  a->cur_key = sound || h.codec == ZR_AVI_CODEC_BGR24 || h.key_frame != 0;
  a->cur_at = a->pos;
  uint8_t chunk[8] = {'0', '0', 'd', 'c'};
  if (sound) std::memcpy(chunk, "01wb", 4);
  le32(chunk + 4, a->cur_len);
  if (!out(a, chunk, sizeof chunk)) return;
  a->part = Part::Data;
}

void end_frame(ZrAvi* a) {
  if (a->cur_len & 1) {
    const uint8_t pad = 0;
    out(a, &pad, 1);
  }
  if (a->seekable && a->index_ok) {
    if (a->index.size() >= kMaxIndexEntries) {
      a->index_ok = false;
      std::vector<IndexEntry>().swap(a->index);
    } else {
      a->index.push_back({static_cast<uint32_t>(a->cur_at - a->movi_at), a->cur_len,
                          a->cur_key ? kIndexKeyFrame : 0, a->cur_sound});
    }
  }
  if (a->cur_sound) {
    a->sound_bytes += a->cur_len;
    ++a->stats.sound_frames_written;
  } else {
    ++a->stats.frames_written;
  }
  a->part = Part::Header;
}

bool patch32(ZrAvi* a, long at, uint32_t v) {
  uint8_t b[4];
  le32(b, v);
  return fseeko(a->fp, a->base + at, SEEK_SET) == 0 && std::fwrite(b, 1, 4, a->fp) == 4;
}

// Index, sizes and counts of a finished file on a seekable output.
void patch(ZrAvi* a) {
  const int64_t movi_end = a->pos;
  const int64_t index_bytes = a->index_ok ? 8 + 16 * static_cast<int64_t>(a->index.size()) : 0;
  if (movi_end + index_bytes > kMaxRiffBytes) return;  // too big to count: stays in the streaming form
  if (a->index_ok) {
    std::vector<uint8_t> b;
    b.reserve(static_cast<size_t>(index_bytes));
    fourcc(&b, "idx1");
    put32(&b, static_cast<uint32_t>(16 * a->index.size()));
    for (const IndexEntry& e : a->index) {
      fourcc(&b, e.sound ? "01wb" : "00dc");
      put32(&b, e.flags);
      put32(&b, e.offset);
      put32(&b, e.size);
    }
    if (!out(a, b.data(), b.size())) return;
  }
  const uint32_t frames = static_cast<uint32_t>(a->stats.frames_written);
  const bool ok = std::fflush(a->fp) == 0 && patch32(a, kRiffSizeAt, static_cast<uint32_t>(a->pos - 8)) &&
                  patch32(a, kAvihFlagsAt, kAvifIsInterleaved | (a->index_ok ? kAvifHasIndex : 0)) &&
                  patch32(a, kAvihFramesAt, frames) && patch32(a, kVideoLengthAt, frames) &&
                  (a->sound.codec == ZR_AVI_AUDIO_NONE ||
                   patch32(a, a->sound_length_at, static_cast<uint32_t>(a->sound_bytes / block_align(a->sound)))) &&
                  patch32(a, a->movi_size_at, static_cast<uint32_t>(movi_end - a->movi_at)) &&
                  fseeko(a->fp, a->base + a->pos, SEEK_SET) == 0;
  if (!ok) a->failed = true;
  a->stats.patched = ok;
}
}  // namespace

void zr_avi_frame_header_init(ZrAviFrameHeader* h) {
  if (h) std::memcpy(h->magic, "ZRFH", 4);
}

ZrAvi* zr_avi_open_fp_ex(FILE* fp, void (*on_start)(void*), void* ctx) {
  if (!fp) return nullptr;
  ZrAvi* a = new (std::nothrow) ZrAvi;
  if (!a) return nullptr;
  a->fp = fp;
  a->on_start = on_start;
  a->on_start_ctx = ctx;
  // A regular file can be patched at the close; one opened for appending
  // cannot (every write lands at its end).
  struct stat st {};
  const int fd = fileno(fp);
  const int flags = fd >= 0 ? fcntl(fd, F_GETFL) : -1;
  a->seekable = fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && flags >= 0 && !(flags & O_APPEND);
  return a;
}

ZrAvi* zr_avi_open_fp(FILE* fp) { return zr_avi_open_fp_ex(fp, nullptr, nullptr); }

int zr_avi_write_fp_ex(ZrAvi* a, const void* bytes, int len) {
  if (!a || len < 0 || (len > 0 && !bytes)) return -1;
  const uint8_t* p = static_cast<const uint8_t*>(bytes);
  size_t left = static_cast<size_t>(len);
  while (left > 0 && !a->failed) {
    if (a->part == Part::Header) {
      size_t n = sizeof a->head - a->head_fill;
      if (n > left) n = left;
      std::memcpy(a->head + a->head_fill, p, n);
      a->head_fill += n;
      p += n;
      left -= n;
      if (a->head_fill == sizeof a->head) {
        begin_frame(a);
        if (a->part == Part::Data && a->remaining == 0) end_frame(a);
      }
      continue;
    }
    size_t n = a->remaining < static_cast<int64_t>(left) ? static_cast<size_t>(a->remaining) : left;
    if (a->part == Part::Data && !out(a, p, n)) break;
    p += n;
    left -= n;
    a->remaining -= static_cast<int64_t>(n);
    if (a->remaining == 0) {
      if (a->part == Part::Data) end_frame(a);
      else a->part = Part::Header;
    }
  }
  a->stats.bytes_written = a->pos;
  return a->failed ? -1 : 0;
}

ZrAviStats zr_avi_stats(const ZrAvi* a) { return a ? a->stats : ZrAviStats{}; }

int zr_avi_close_fp_ex(ZrAvi* a, ZrAviStats* stats) {
  if (!a) return -1;
  // A frame cut off by the end of the stream: its chunk is completed with
  // zero bytes, so the chunk sizes still hold.
  if (a->part == Part::Data && !a->failed) {
    static const uint8_t zeros[4096] = {};
    while (a->remaining > 0 && !a->failed) {
      size_t n = a->remaining < static_cast<int64_t>(sizeof zeros) ? static_cast<size_t>(a->remaining) : sizeof zeros;
      out(a, zeros, n);
      a->remaining -= static_cast<int64_t>(n);
    }
    if (!a->failed) end_frame(a);
  }
  if (a->started && a->seekable && !a->failed) patch(a);
  if (std::fflush(a->fp) != 0) a->failed = true;
  a->stats.bytes_written = a->pos;
  if (stats) *stats = a->stats;
  const int rc = a->failed ? -1 : 0;
  delete a;
  return rc;
}

int zr_avi_close_fp(ZrAvi* a) { return zr_avi_close_fp_ex(a, nullptr); }
