#include "platform/avi.h"

#include <sys/stat.h>

#include <cstring>
#include <new>
#include <vector>

namespace {
// Layout of the headers this writer puts before the frames (offsets from
// the start of the file).
constexpr long kRiffSizeAt = 4;
constexpr long kAvihFlagsAt = 44;
constexpr long kAvihFramesAt = 48;
constexpr long kStrhLengthAt = 140;
constexpr long kMoviSizeAt = 216;
constexpr long kMoviAt = 220;        // the "movi" fourcc: index offsets count from here
constexpr size_t kHeadersSize = 224;  // the first frame chunk starts here

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
};

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
  bool failed = false;
  bool started = false;
  bool seekable = false;
  int64_t base = 0;  // output offset of "RIFF" (seekable outputs)
  int64_t pos = 0;   // bytes of the AVI file written
  ZrAviFrameHeader first{};
  uint32_t raw_size = 0;
  uint32_t max_chunk = 0;

  Part part = Part::Header;
  uint8_t head[sizeof(ZrAviFrameHeader)] = {};
  size_t head_fill = 0;
  int64_t remaining = 0;  // data bytes of the current frame still to come
  bool cur_key = false;
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
  std::vector<uint8_t> b;
  b.reserve(kHeadersSize);
  fourcc(&b, "RIFF");
  put32(&b, 0);  // until the end of the file; patched where the output seeks
  fourcc(&b, "AVI ");
  fourcc(&b, "LIST");
  put32(&b, 192);
  fourcc(&b, "hdrl");
  fourcc(&b, "avih");
  put32(&b, 56);
  put32(&b, static_cast<uint32_t>(1000000 / fps));  // microseconds per frame
  put32(&b, 0);                                      // max bytes per second
  put32(&b, 0);                                      // padding granularity
  put32(&b, kAvifIsInterleaved);
  put32(&b, 0);  // total frames: patched
  put32(&b, 0);  // initial frames
  put32(&b, 1);  // streams
  put32(&b, a->max_chunk);
  put32(&b, static_cast<uint32_t>(f.width));
  put32(&b, static_cast<uint32_t>(f.height));
  for (int i = 0; i < 4; ++i) put32(&b, 0);
  fourcc(&b, "LIST");
  put32(&b, 116);
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
  fourcc(&b, "LIST");
  put32(&b, 0);  // until the end of the file; patched
  fourcc(&b, "movi");
  return out(a, b.data(), b.size());
}

// Takes the header of the next frame: decides whether it is written, and
// writes its chunk header.
void begin_frame(ZrAvi* a) {
  ZrAviFrameHeader h;
  std::memcpy(&h, a->head, sizeof h);
  a->head_fill = 0;
  a->remaining = h.data_len > 0 ? h.data_len : 0;
  bool take = h.frame_type == ZR_AVI_FRAME_VIDEO && h.data_len > 0 && h.data_len <= ZR_AVI_MAX_FRAME;
  if (take && !a->started) {
    take = codec_known(h.codec) && h.width > 0 && h.width <= ZR_AVI_MAX_SIDE && h.height > 0 &&
           h.height <= ZR_AVI_MAX_SIDE;
    if (take) {
      a->first = h;
      a->raw_size = raw_frame_size(h.width, h.height);
      a->max_chunk = h.codec == ZR_AVI_CODEC_BGR24 ? a->raw_size : static_cast<uint32_t>(h.data_len);
    }
  }
  if (take && h.codec != a->first.codec) take = false;
  if (take && h.codec == ZR_AVI_CODEC_BGR24 && static_cast<uint32_t>(h.data_len) != a->raw_size) take = false;
  if (!take) {
    ++a->stats.frames_skipped;
    a->part = a->remaining > 0 ? Part::Skip : Part::Header;
    return;
  }
  if (!a->started) {
    if (!write_headers(a)) return;
    a->started = true;
  }
  a->cur_len = static_cast<uint32_t>(h.data_len);
  a->cur_key = h.codec == ZR_AVI_CODEC_BGR24 || h.key_frame != 0;
  a->cur_at = a->pos;
  uint8_t chunk[8] = {'0', '0', 'd', 'c'};
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
      a->index.push_back({static_cast<uint32_t>(a->cur_at - kMoviAt), a->cur_len, a->cur_key ? kIndexKeyFrame : 0});
    }
  }
  ++a->stats.frames_written;
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
      fourcc(&b, "00dc");
      put32(&b, e.flags);
      put32(&b, e.offset);
      put32(&b, e.size);
    }
    if (!out(a, b.data(), b.size())) return;
  }
  const uint32_t frames = static_cast<uint32_t>(a->stats.frames_written);
  const bool ok = std::fflush(a->fp) == 0 && patch32(a, kRiffSizeAt, static_cast<uint32_t>(a->pos - 8)) &&
                  patch32(a, kAvihFlagsAt, kAvifIsInterleaved | (a->index_ok ? kAvifHasIndex : 0)) &&
                  patch32(a, kAvihFramesAt, frames) && patch32(a, kStrhLengthAt, frames) &&
                  patch32(a, kMoviSizeAt, static_cast<uint32_t>(movi_end - kMoviAt)) &&
                  fseeko(a->fp, a->base + a->pos, SEEK_SET) == 0;
  if (!ok) a->failed = true;
  a->stats.patched = ok;
}
}  // namespace

void zr_avi_frame_header_init(ZrAviFrameHeader* h) {
  if (h) std::memcpy(h->magic, "ZRFH", 4);
}

ZrAvi* zr_avi_open_fp(FILE* fp) {
  if (!fp) return nullptr;
  ZrAvi* a = new (std::nothrow) ZrAvi;
  if (!a) return nullptr;
  a->fp = fp;
  struct stat st {};
  if (fstat(fileno(fp), &st) == 0 && S_ISREG(st.st_mode)) {
    std::fflush(fp);
    const off_t at = ftello(fp);
    if (at >= 0) {
      a->seekable = true;
      a->base = at;
    }
  }
  return a;
}

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
