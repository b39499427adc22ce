// mail_curl.cpp — finding libcurl's functions at run time.
#include "mail/mail_curl.h"

#include <dlfcn.h>

#include <mutex>

namespace mirelune {
namespace {

// The function `name` of `lib` into *out; false (and *out null) when lib lacks it.
template <typename F>
bool FindFunction(void* lib, const char* name, F* out) {
  *out = reinterpret_cast<F>(::dlsym(lib, name));
  return *out != nullptr;
}

}  // namespace

Result<const CurlApi*> LoadCurl() {
  static std::once_flag once;
  static CurlApi api{};
  static const CurlApi* loaded = nullptr;
  static std::string failure;
  std::call_once(once, [] {
    // Local to its user, resolved at once, never unloaded.
    void* lib = ::dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
      const char* loader = ::dlerror();
      failure = std::string("the mail library libcurl.so.4 could not be loaded (") + (loader ? loader : "not found") +
                "); install libcurl4";
      return;
    }
    decltype(&curl_global_init) global_init = nullptr;
    const bool all = FindFunction(lib, "curl_global_init", &global_init) &&
                     FindFunction(lib, "curl_easy_init", &api.easy_init) &&
                     FindFunction(lib, "curl_easy_setopt", &api.easy_setopt) &&
                     FindFunction(lib, "curl_easy_perform", &api.easy_perform) &&
                     FindFunction(lib, "curl_easy_getinfo", &api.easy_getinfo) &&
                     FindFunction(lib, "curl_easy_cleanup", &api.easy_cleanup) &&
                     FindFunction(lib, "curl_easy_strerror", &api.easy_strerror) &&
                     FindFunction(lib, "curl_slist_append", &api.slist_append) &&
                     FindFunction(lib, "curl_slist_free_all", &api.slist_free_all) &&
                     FindFunction(lib, "curl_url", &api.url) &&
                     FindFunction(lib, "curl_url_set", &api.url_set) &&
                     FindFunction(lib, "curl_url_get", &api.url_get) &&
                     FindFunction(lib, "curl_url_cleanup", &api.url_cleanup) &&
                     FindFunction(lib, "curl_free", &api.free) &&
                     FindFunction(lib, "curl_mime_init", &api.mime_init) &&
                     FindFunction(lib, "curl_mime_addpart", &api.mime_addpart) &&
                     FindFunction(lib, "curl_mime_data", &api.mime_data) &&
                     FindFunction(lib, "curl_mime_type", &api.mime_type) &&
                     FindFunction(lib, "curl_mime_encoder", &api.mime_encoder) &&
                     FindFunction(lib, "curl_mime_filename", &api.mime_filename) &&
                     FindFunction(lib, "curl_mime_free", &api.mime_free);
    if (!all) {
      failure = "the mail library libcurl.so.4 is too old (it lacks MIME or URL functions)";
      return;
    }
    if (global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
      failure = "the mail library could not start";
      return;
    }
    loaded = &api;  // libcurl stays loaded: its TLS library may hold thread-local state
  });
  if (!loaded) return Error{failure};
  return loaded;
}

}  // namespace mirelune
