// libFuzzer entry: stream cutting, decoding, the relay and both dispatchers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "ProtocolHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // QUILLORA_FUZZ_FRESH=1 builds a whole program for every input (slow; to compare, to check
  // that a finding does not depend on what earlier inputs left behind, or, without
  // -detect_leaks=0, to find the input that leaked).
  static const bool fresh = std::getenv("QUILLORA_FUZZ_FRESH") != nullptr;
  if (fresh) {
    quillora::fuzz::RunProtocolInput(data, size);
  } else {
    quillora::fuzz::RunProtocolInputReused(data, size);
  }
  return 0;
}
