// rate_limit.h — a token bucket: so many events a minute, refilled evenly.
//
//   TokenBucket cards(30, 30, now);       // 30 a minute, a burst of 30
//   if (cards.Take(now) == 0) go_ahead();  // else the seconds until a token is there
//
//   TokenBucket mails(per_minute, 1, now);  // evenly spaced, no burst
//   sleep(mails.Reserve(now));              // the token is this caller's after that wait
//
// Not thread-safe; times are seconds on a steady clock.
#pragma once

namespace mirelune {

class TokenBucket {
 public:
  // Starts full. `per_minute` <= 0: no limit.
  TokenBucket(double per_minute, double burst, double now)
      : per_s_(per_minute / 60), burst_(burst), tokens_(burst), when_(now) {}
  // Spends a token when one is there and returns 0; otherwise spends nothing and
  // returns the seconds until one will be.
  double Take(double now);
  // Spends a token now or ahead of time: the seconds to wait until it is due.
  // Callers served in turn are spaced evenly.
  double Reserve(double now);

 private:
  void Refill(double now);
  double per_s_, burst_, tokens_, when_;
};

}  // namespace mirelune
