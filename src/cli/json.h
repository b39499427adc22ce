// json.h — just enough JSON for the card report: numbers, lists of numbers, objects.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace mirelune {

class Json {
 public:
  void Field(const std::string& key, double v) { Add(key, Number(v)); }
  void Field(const std::string& key, std::uint64_t v) { Add(key, std::to_string(v)); }
  void Field(const std::string& key, int v) { Add(key, std::to_string(v)); }
  void Field(const std::string& key, const std::vector<double>& v) {
    std::string s = "[";
    for (std::size_t k = 0; k < v.size(); ++k) s += (k ? ", " : "") + Number(v[k]);
    Add(key, s + "]");
  }
  void Object(const std::string& key, const Json& inner) { Add(key, inner.Text()); }
  std::string Text() const { return "{" + body_ + "}"; }

 private:
  static std::string Number(double v) {
    char buf[32];
    if (v == std::floor(v) && std::fabs(v) < 1e15)
      std::snprintf(buf, sizeof buf, "%.0f", v);
    else
      std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
  }
  void Add(const std::string& key, const std::string& value) {
    body_ += (body_.empty() ? "\"" : ", \"") + key + "\": " + value;
  }
  std::string body_;
};

}  // namespace mirelune
