#include "core/host.h"

#include <chrono>

namespace mirelune {

double Host::Timer() {
  const std::tm t = Now();
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  const double frac =
      static_cast<double>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count() % 1000) / 1000.0;
  return t.tm_hour * 3600.0 + t.tm_min * 60.0 + t.tm_sec + frac;
}

std::tm Host::Now() {
  const std::time_t t = std::time(nullptr);
  std::tm out{};
  localtime_r(&t, &out);
  return out;
}

ScriptedHost::ScriptedHost() {
  now.tm_year = 2017 - 1900;
  now.tm_mon = 0;
  now.tm_mday = 2;
  now.tm_hour = 9;
  now.tm_min = 5;
  now.tm_sec = 3;
}

std::string ScriptedHost::InputBox(const std::string& prompt, const std::string& title, int x, int y) {
  asked.push_back({prompt, title, x, y});
  if (answers.empty()) {
    std::string shown = prompt;
    for (char& c : shown) c = c == '\r' ? '/' : c;
    throw ScriptExhausted("no scripted answer left for the dialog \"" + shown + "\"");
  }
  std::string a = std::move(answers.front());
  answers.pop_front();
  return a;
}

}  // namespace mirelune
