// libFuzzer entry: stream cutting, decoding, the relay and both dispatchers.
#include <cstddef>
#include <cstdint>

#include "ProtocolHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quillora::fuzz::RunProtocolInputReused(data, size);
  return 0;
}
