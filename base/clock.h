// The clock and the random source, each read through one function so tests
// can fix them (NVR_FIXED_TIME=<epoch seconds>).
#pragma once
#include <cstddef>
#include <ctime>

time_t nvr_time();
// Fills buf with random bytes from the kernel (getrandom, or /dev/urandom
// on kernels without it); false when it cannot.
bool nvr_random_bytes(void* buf, size_t len);
