// rate_limit.cpp — the token bucket.
#include "base/rate_limit.h"

#include <algorithm>

namespace mirelune {

void TokenBucket::Refill(double now) {
  if (now > when_) tokens_ = std::min(burst_, tokens_ + (now - when_) * per_s_);
  when_ = std::max(when_, now);
}

double TokenBucket::Take(double now) {
  if (per_s_ <= 0) return 0;
  Refill(now);
  if (tokens_ >= 1) {
    tokens_ -= 1;
    return 0;
  }
  return (1 - tokens_) / per_s_;
}

double TokenBucket::Reserve(double now) {
  if (per_s_ <= 0) return 0;
  Refill(now);
  tokens_ -= 1;  // below zero: tokens promised to callers still waiting
  return tokens_ >= 0 ? 0 : -tokens_ / per_s_;
}

}  // namespace mirelune
