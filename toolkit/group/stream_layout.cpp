#include "stream_layout.h"

#include <cstring>

namespace quillon {
namespace {

constexpr uint32_t kGroupHeaderSize = 20;
constexpr uint32_t kWriteHeaderSize = 16;

void Put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = uint8_t(v >> (8 * i));
}
void Put16(std::vector<uint8_t>& out, size_t at, uint16_t v) {
  out[at] = uint8_t(v);
  out[at + 1] = uint8_t(v >> 8);
}
void Put64(std::vector<uint8_t>& out, size_t at, uint64_t v) {
  Put32(out, at, uint32_t(v));
  Put32(out, at + 4, uint32_t(v >> 32));
}

}  // namespace

std::vector<uint8_t> BuildDataStream(bool withTime, uint32_t clientGroup, uint32_t transactionId, int32_t status,
                                     const std::vector<StreamItem>& items) {
  const uint32_t headerSize = withTime ? 20 : 12;
  const uint32_t n = uint32_t(items.size());
  size_t total = kGroupHeaderSize + size_t(headerSize) * n;
  for (const auto& item : items) total += item.value.size();
  std::vector<uint8_t> out(total, 0);
  Put32(out, 0, uint32_t(total));
  Put32(out, 4, n);
  Put32(out, 8, clientGroup);
  Put32(out, 12, transactionId);
  Put32(out, 16, uint32_t(status));
  size_t valueAt = kGroupHeaderSize + size_t(headerSize) * n;
  for (uint32_t i = 0; i < n; ++i) {
    const StreamItem& item = items[i];
    const size_t at = kGroupHeaderSize + size_t(headerSize) * i;
    Put32(out, at, item.clientHandle);
    Put32(out, at + 4, uint32_t(valueAt));
    Put16(out, at + 8, item.quality);
    if (withTime) Put64(out, at + 12, item.timeStamp);
    if (!item.value.empty()) std::memcpy(&out[valueAt], item.value.data(), item.value.size());
    valueAt += item.value.size();
  }
  return out;
}

std::vector<uint8_t> BuildWriteCompleteStream(uint32_t clientGroup, uint32_t transactionId,
                                              const std::vector<WriteResult>& results) {
  const uint32_t n = uint32_t(results.size());
  std::vector<uint8_t> out(kWriteHeaderSize + 8 * size_t(n), 0);
  int32_t status = 0;
  for (const auto& r : results)
    if (r.error != 0) status = 1;
  Put32(out, 0, n);
  Put32(out, 4, clientGroup);
  Put32(out, 8, transactionId);
  Put32(out, 12, uint32_t(status));
  for (uint32_t i = 0; i < n; ++i) {
    Put32(out, kWriteHeaderSize + 8 * i, results[i].clientHandle);
    Put32(out, kWriteHeaderSize + 8 * i + 4, uint32_t(results[i].error));
  }
  return out;
}

std::vector<uint8_t> BuildKeepAliveStream(uint32_t clientGroup) {
  return BuildDataStream(true, clientGroup, 0, 0, {});
}

std::vector<uint8_t> StringImage(const char16_t* text, uint32_t length) {
  std::vector<uint8_t> out(4 + 2 * size_t(length) + 2, 0);
  Put32(out, 0, 2 * length);
  for (uint32_t i = 0; i < length; ++i) Put16(out, 4 + 2 * size_t(i), uint16_t(text[i]));
  return out;
}

}  // namespace quillon
