// The clock and the random source, each read through one function so tests
// can fix them (NVR_FIXED_TIME=<epoch seconds>, NVR_FIXED_UPTIME=<seconds>).
#pragma once
#include <cstddef>
#include <cstdint>
#include <ctime>

// Wall-clock time: what the recorder shows and logs. Users set it.
time_t nvr_time();
// Seconds since boot, counting suspended time (CLOCK_BOOTTIME): it never
// jumps when the clock is set, so idle times and blocks are measured on it.
int64_t nvr_uptime();
// Fills buf with random bytes from the kernel (getrandom, or /dev/urandom
// on kernels without it); false when it cannot.
bool nvr_random_bytes(void* buf, size_t len);
