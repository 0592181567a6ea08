// A stand-in for the TWAIN manager's libtwaindsm.so.2: records what the
// source sends to DSM_Entry instead of delivering it to an application.

#include "tests/twain/standin_dsm.h"

#include <cstddef>
#include <mutex>
#include <vector>

namespace {

std::mutex g_lock;
std::vector<StandInRecord> g_records;

}  // namespace

extern "C" __attribute__((visibility("default"))) rd420::twain::TW_UINT16 DSM_Entry(
    rd420::twain::TW_IDENTITY* origin, rd420::twain::TW_IDENTITY* dest, rd420::twain::TW_UINT32 dg,
    rd420::twain::TW_UINT16 dat, rd420::twain::TW_UINT16 msg, rd420::twain::TW_MEMREF data) {
  std::lock_guard lock(g_lock);
  g_records.push_back({origin != nullptr ? origin->Id : 0xFFFFFFFFu,
                       dest != nullptr ? dest->Id : 0xFFFFFFFFu, dg, dat, msg, data == nullptr});
  return rd420::twain::TWRC_SUCCESS;
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
