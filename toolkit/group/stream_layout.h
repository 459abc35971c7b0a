#pragma once
// Byte layouts of the DA 1.0 data streams. Portable: no Windows headers, so
// the layouts can be checked natively.
#include <cstdint>
#include <vector>

namespace quillon {

// One item of a data stream: its header fields and the image of its value,
// the VARIANT's bytes as they stand in memory (16 bytes on 32-bit Windows)
// followed by whatever the value refers to outside them (a string image).
struct StreamItem {
  uint32_t clientHandle = 0;
  uint16_t quality = 0;
  uint64_t timeStamp = 0;  // FILETIME ticks
  std::vector<uint8_t> value;
};

// Group header, one item header per item (with time: 20 bytes; without: 12),
// then the value images in item order; each header's value offset and the
// total size count the value images as they are.
std::vector<uint8_t> BuildDataStream(bool withTime, uint32_t clientGroup, uint32_t transactionId,
                                     int32_t status, const std::vector<StreamItem>& items);

struct WriteResult {
  uint32_t clientHandle;
  int32_t error;
};

// Write-complete stream: its status is S_FALSE (1) when any error is not 0.
std::vector<uint8_t> BuildWriteCompleteStream(uint32_t clientGroup, uint32_t transactionId,
                                              const std::vector<WriteResult>& results);

// The 20-byte group header alone: size 20, no items, transaction 0, status 0.
std::vector<uint8_t> BuildKeepAliveStream(uint32_t clientGroup);

// The image that follows a string VARIANT: a 4-byte length in bytes (as a
// BSTR's own prefix), the UTF-16 characters and a terminating NUL.
std::vector<uint8_t> StringImage(const char16_t* text, uint32_t length);

}  // namespace quillon
