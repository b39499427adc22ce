// generator.h — the one random sequence a card is made from.
//
//   Generator g;              // state 0x4D6972656C756E65, as at program start
//   g.Restart(-1);            // reset to a state fixed by the argument
//   g.FoldIn(seed);           // fold the seed in
//   double v = g.Uniform();   // next value in [0, 1), a single-precision number
//
// SplitMix64, fixed for all time: a pair of names must give the same card in
// every future version. Uniform returns the single-precision value widened to
// double, so that `Uniform() * 26` is double arithmetic as the drawing code expects;
// procedures that need single precision convert with float() themselves.
#pragma once

#include <cstdint>
#include <cstring>

namespace mirelune {

class Generator {
 public:
  static constexpr std::uint64_t kStart = 0x4D6972656C756E65ULL;  // "Mirelune"

  // 24 bits make the value exact in single precision: k / 2^24, never 1.
  double Uniform() { return static_cast<double>(static_cast<float>(Next24()) * (1.0f / 16777216.0f)); }

  // The next draw as the whole number k of Uniform() = k / 2^24, for loops that can
  // then stay in integers: Floor(n * Uniform()) == (n * k) >> 24 for whole n < 2^29.
  std::uint32_t Next24() {
    ++draws_;
    state_ += kGamma;
    return Mix24(state_);
  }

  // A negative argument resets the state from the argument alone; any other
  // argument just gives the next value.
  double Restart(double x) {
    if (x < 0) state_ = kStart ^ Bits(x);
    return Uniform();
  }

  void FoldIn(double v) { state_ ^= Bits(v); }

  // Advances as n calls of Next24 would, for a loop that took those draws from
  // a level's next24 kernel instead.
  void Skip(std::uint64_t n) {
    draws_ += n;
    state_ += n * kGamma;
  }

  // The draw that comes `ahead` + 1 calls of Next24 from `state`: each draw is a
  // function of the state and its place alone, so many can be made at once.
  static std::uint32_t Draw24(std::uint64_t state, std::uint64_t ahead) {
    return Mix24(state + (ahead + 1) * kGamma);
  }

  std::uint64_t draws() const { return draws_; }
  std::uint64_t state() const { return state_; }
  void set_state(std::uint64_t s) { state_ = s; }

 private:
  static constexpr std::uint64_t kGamma = 0x9E3779B97F4A7C15ULL;

  static std::uint32_t Mix24(std::uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    return static_cast<std::uint32_t>(z >> 40);
  }

  static std::uint64_t Bits(double v) {
    std::uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
  }

  std::uint64_t state_ = kStart;
  std::uint64_t draws_ = 0;
};

}  // namespace mirelune
