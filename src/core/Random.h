#pragma once

#include <cstdint>
#include <random>
#include <utility>
#include <vector>

namespace quillora {

// The instance's uniform generator in [0, 1). Seeded from the clock at start-up; tests seed it.
class Random {
 public:
  explicit Random(uint64_t seed) : engine_(seed) {}

  // A generator that replays `values` (each in [0, 1)) in order and then starts over, for tests
  // that need particular dice.
  static Random Scripted(std::vector<double> values) {
    Random random(0);
    random.script_ = std::move(values);
    return random;
  }

  void Seed(uint64_t seed) { engine_.seed(seed); }

  // A value in [0, 1).
  double Next() {
    if (!script_.empty()) return script_[script_next_++ % script_.size()];
    return std::generate_canonical<double, 53>(engine_) * kBelowOne;
  }

  // A whole number in [low, high], both ends included.
  int64_t Between(int64_t low, int64_t high) {
    if (high <= low) return low;
    return low + static_cast<int64_t>(Next() * static_cast<double>(high - low + 1));
  }

 private:
  // generate_canonical may return exactly 1.0 on some libraries; keep strictly below it.
  static constexpr double kBelowOne = 0.99999999999999989;
  std::mt19937_64 engine_;
  std::vector<double> script_;
  size_t script_next_ = 0;
};

}  // namespace quillora
