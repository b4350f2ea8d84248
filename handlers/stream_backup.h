// remote_backup: the frame queue and the writer thread of a recording
// download. The socket library's thread reassembles frames from the core's
// chunks and queues them; the worker thread "remote_backup" writes them in
// order through the AVI writer to the download's output stream.
//
// One download per process: the state is process-wide and lives from
// remote_backup_zrfs_open to remote_backup_zrfs_close.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "platform/avi.h"

// The queue holds at most this many bytes of frame data (the frame the
// worker is writing counted in); a full queue makes the receiving side wait.
constexpr int64_t kBackupQueueLimit = 10485760;
// Largest chunk of one data reply.
constexpr int kBackupMaxChunk = 614400;

// Called once, just before the first byte of the AVI file (the download's
// reply headers go out there); never when the writer takes no frame.
using BackupPrelude = void (*)(void* ctx);

// Opens the AVI writer on the stream and starts the worker: 0 and the
// handle, or -1 (no writer, no worker).
int remote_backup_zrfs_open(FILE* out, ZrAvi** handle, BackupPrelude prelude = nullptr, void* ctx = nullptr);
// One chunk of a frame: kind 0 starts a frame (the header gives its data
// length), any other kind continues it. A finished frame is queued. 0, or
// -1 when the chunk is refused (a length out of range), memory runs out or
// the queue stays full while the worker is stuck or gone.
int remote_backup_zrfs_write(const ZrAviFrameHeader* head, const void* data, int kind, int len);
// Drops the frame being assembled (a chunk of it was refused).
void remote_backup_zrfs_drop();
// The core interrupted the download: the worker stops at once and drops
// what is queued.
void remote_backup_zrfs_interrup();
// Lets the worker write out the queue and end, then closes the writer.
// 0, or -1 when the writer failed. Counters of the file in *stats.
int remote_backup_zrfs_close(ZrAvi* handle, ZrAviStats* stats = nullptr);
// 1 while the worker may write.
int remote_backup_task_run_status();
// Frames the worker handed to the writer since the open.
int64_t remote_backup_frames_written();
// Most frame bytes the queue held at once since the open (the frame being
// written counted in).
int64_t remote_backup_peak_queued();
