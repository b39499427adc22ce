// mail_curl.cpp — finding libcurl's functions at run time.
#include "mail/mail_curl.h"

#include <dlfcn.h>

#include <mutex>

namespace mirelune {
namespace {

template <typename F>
bool Find(void* lib, const char* name, F* out) {
  *out = reinterpret_cast<F>(::dlsym(lib, name));
  return *out != nullptr;
}

}  // namespace

const CurlApi* LoadCurl(std::string* why) {
  static std::once_flag once;
  static CurlApi api{};
  static const CurlApi* loaded = nullptr;
  static std::string failure;
  std::call_once(once, [] {
    void* lib = ::dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
      const char* e = ::dlerror();
      failure = "the mail library libcurl.so.4 could not be loaded (" + std::string(e ? e : "not found") +
                "); install libcurl4";
      return;
    }
    decltype(&curl_global_init) global_init = nullptr;
    const bool all = Find(lib, "curl_global_init", &global_init) && Find(lib, "curl_easy_init", &api.easy_init) &&
                     Find(lib, "curl_easy_setopt", &api.easy_setopt) &&
                     Find(lib, "curl_easy_perform", &api.easy_perform) &&
                     Find(lib, "curl_easy_getinfo", &api.easy_getinfo) &&
                     Find(lib, "curl_easy_cleanup", &api.easy_cleanup) &&
                     Find(lib, "curl_easy_strerror", &api.easy_strerror) &&
                     Find(lib, "curl_slist_append", &api.slist_append) &&
                     Find(lib, "curl_slist_free_all", &api.slist_free_all) && Find(lib, "curl_url", &api.url) &&
                     Find(lib, "curl_url_set", &api.url_set) && Find(lib, "curl_url_get", &api.url_get) &&
                     Find(lib, "curl_url_cleanup", &api.url_cleanup) && Find(lib, "curl_free", &api.free) &&
                     Find(lib, "curl_mime_init", &api.mime_init) &&
                     Find(lib, "curl_mime_addpart", &api.mime_addpart) &&
                     Find(lib, "curl_mime_data", &api.mime_data) && Find(lib, "curl_mime_type", &api.mime_type) &&
                     Find(lib, "curl_mime_encoder", &api.mime_encoder) &&
                     Find(lib, "curl_mime_filename", &api.mime_filename) &&
                     Find(lib, "curl_mime_free", &api.mime_free);
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
  if (!loaded && why) *why = failure;
  return loaded;
}

}  // namespace mirelune
