// A stand-in for the TWAIN manager's libtwaindsm.so.2: records what the
// source sends to DSM_Entry instead of delivering it to an application.

#include "tests/twain/standin_dsm.h"

#include <cstddef>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

namespace {

std::mutex g_lock;
std::vector<StandInRecord> g_records;
void (*g_callback)(void*) = nullptr;
void* g_context = nullptr;

// Counts the loads in the process environment, which outlives an unload,
// so a test sees whether anything loaded the manager behind its back.
__attribute__((constructor)) void CountLoad() {
  const char* loads = std::getenv(kStandInLoadsVariable);
  const int count = loads != nullptr ? std::atoi(loads) : 0;
  setenv(kStandInLoadsVariable, std::to_string(count + 1).c_str(), 1);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) rd420::twain::TW_UINT16 DSM_Entry(
    rd420::twain::TW_IDENTITY* origin, rd420::twain::TW_IDENTITY* dest, rd420::twain::TW_UINT32 dg,
    rd420::twain::TW_UINT16 dat, rd420::twain::TW_UINT16 msg, rd420::twain::TW_MEMREF data) {
  void (*callback)(void*);
  void* context;
  {
    std::lock_guard lock(g_lock);
    g_records.push_back({origin != nullptr ? origin->Id : 0xFFFFFFFFu,
                         dest != nullptr ? dest->Id : 0xFFFFFFFFu, dg, dat, msg, data == nullptr});
    callback = g_callback;
    context = g_context;
  }
  if (callback != nullptr) {
    callback(context);
  }
  return rd420::twain::TWRC_SUCCESS;
}

extern "C" __attribute__((visibility("default"))) void StandInSetCallback(void (*callback)(void*),
                                                                          void* context) {
  std::lock_guard lock(g_lock);
  g_callback = callback;
  g_context = context;
}

extern "C" __attribute__((visibility("default"))) size_t StandInTakeRecords(StandInRecord* out,
                                                                            size_t capacity) {
  std::lock_guard lock(g_lock);
  const size_t count = g_records.size() < capacity ? g_records.size() : capacity;
  for (size_t i = 0; i < count; ++i) {
    out[i] = g_records[i];
  }
  g_records.clear();
  return count;
}
