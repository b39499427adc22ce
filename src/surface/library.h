// library.h — shared libraries loaded when first needed (mail, digests, shaping).
//
//   std::string why;
//   void* lib = OpenLibrary("libcurl.so.4", &why);   // nullptr: why says what the loader said
//   decltype(&curl_easy_init) init;
//   if (lib && FindFunction(lib, "curl_easy_init", &init)) ...
//
// Loaded local to their users, resolved at once, never unloaded (their objects
// and thread-local state live to the end of the process).
#pragma once

#include <dlfcn.h>

#include <string>

namespace mirelune {

inline void* OpenLibrary(const char* soname, std::string* why) {
  void* lib = ::dlopen(soname, RTLD_NOW | RTLD_LOCAL);
  if (!lib && why) {
    const char* e = ::dlerror();
    *why = e ? e : std::string(soname) + ": not found";
  }
  return lib;
}

// The function `name` of `lib` into *out; false (and *out null) when lib is null or lacks it.
template <typename F>
bool FindFunction(void* lib, const char* name, F* out) {
  *out = lib ? reinterpret_cast<F>(::dlsym(lib, name)) : nullptr;
  return *out != nullptr;
}

}  // namespace mirelune
