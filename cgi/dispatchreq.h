// The registry of request names: every handler module registers its table
// here and DispatchWebReq calls the one handler a request name maps to.
#pragma once
#include <cstddef>
#include <cstdint>

using WebReqHandler = void (*)(char* request_text);

// One row of a module table and of the registry: an 8-byte name (at most 7
// characters, zero-filled) followed by the handler pointer. 12 bytes on the
// recorder's 32-bit ARM, 16 on x86-64.
struct WebRes {
  char name[8];
  WebReqHandler handler;
};
static_assert(offsetof(WebRes, name) == 0, "WebRes name at 0");
static_assert(offsetof(WebRes, handler) == 8, "WebRes handler at 8");
static_assert(sizeof(WebRes) == 8 + sizeof(void*), "WebRes is name + pointer");

constexpr int MAX_WEBREQ_COUNT = 512;

int WebResRegister(const WebRes* table, int count);
int WebResUnregister(const WebRes* table, int count);
void DispatchWebReq(const char* name, char* text);
const WebRes* FindWebRes(const char* name);
// The row in a registry slot (0 .. MAX_WEBREQ_COUNT-1), or null for a free
// slot: lets tools list every registered name.
const WebRes* WebResAt(int slot);
int WebResCount();
// Clears every slot (tests only).
void WebResResetForTest();

// Registers the eleven module tables in their fixed order; the matching
// unregistration runs at process exit. Safe to call more than once.
void RegisterAllWebModules();
void UnregisterAllWebModules();
