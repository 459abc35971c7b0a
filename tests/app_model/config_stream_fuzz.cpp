// libFuzzer entry point for the component stream reader. A stream is either
// refused with EComponentStreamError, leaving the manager exactly as it was, or read
// into a tree that writes and reads back as the same tree (empty manager
// texts returning as their defaults) and the same bytes. Anything else
// (another exception, a changed manager, an unstable round trip) aborts.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "component_stream.h"
#include "component_stream_error.h"
#include "tag.h"
#include "tag_manager.h"
#include "test_code_page.h"
#include "tree_dump.h"

using namespace opclumbra;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const test::TestCodePage codePage;
  TTagManager manager;
  int handle = 0;
  TTag& kept = TTag::Create(manager);
  kept.SetName(u"Kept");
  kept.SetHandle(&handle);
  const std::string before = test::FullDump(manager);
  try {
    ReadComponentStream(std::span(data, size), manager, codePage);
  } catch (const EComponentStreamError&) {
    if (test::FullDump(manager) != before) std::abort();
    return 0;
  }
  TTagManager again;
  ReadComponentStream(WriteComponentStream(manager, codePage), again, codePage);
  if (test::StoredDump(again) != test::ReloadedDump(manager)) std::abort();
  // From here on no manager text is empty, and the bytes are stable.
  auto written = WriteComponentStream(again, codePage);
  TTagManager third;
  ReadComponentStream(written, third, codePage);
  if (WriteComponentStream(third, codePage) != written) std::abort();
  return 0;
}
