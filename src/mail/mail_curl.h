// mail_curl.h — libcurl, loaded the first time a card is mailed.
//
//   Result<const CurlApi*> curl = LoadCurl();   // or why, when libcurl.so.4 is missing
//   CURL* h = (*curl)->easy_init();
//
// Making a card needs no network, so the programs are not linked against libcurl:
// it brings some thirty libraries (TLS, Kerberos, LDAP, SSH, IDN), and loading and
// relocating them at every start cost a card's process more than the rest of its
// libraries together. Only the functions the SMTP sender calls are here; options
// are set through SetOption, which checks each value's type against its option.
#pragma once

#include <curl/curl.h>

#include <string>
#include <type_traits>

#include "base/result.h"

namespace mirelune {

struct CurlApi {
  decltype(&curl_easy_init) easy_init;
  decltype(&curl_easy_setopt) easy_setopt;
  decltype(&curl_easy_perform) easy_perform;
  decltype(&curl_easy_getinfo) easy_getinfo;
  decltype(&curl_easy_cleanup) easy_cleanup;
  decltype(&curl_easy_strerror) easy_strerror;
  decltype(&curl_slist_append) slist_append;
  decltype(&curl_slist_free_all) slist_free_all;
  decltype(&curl_url) url;
  decltype(&curl_url_set) url_set;
  decltype(&curl_url_get) url_get;
  decltype(&curl_url_cleanup) url_cleanup;
  decltype(&curl_free) free;
  decltype(&curl_mime_init) mime_init;
  decltype(&curl_mime_addpart) mime_addpart;
  decltype(&curl_mime_data) mime_data;
  decltype(&curl_mime_type) mime_type;
  decltype(&curl_mime_encoder) mime_encoder;
  decltype(&curl_mime_filename) mime_filename;
  decltype(&curl_mime_free) mime_free;
};

// Loads libcurl once per process and initialises it; thread-safe.
Result<const CurlApi*> LoadCurl();

// curl_easy_setopt through the loaded library, the value's type checked against
// the option's kind when compiling (curl's own check works in C only): whole
// numbers go as long, curl_off_t values as curl_off_t, objects as pointers and
// callbacks as functions.
//   SetOption<CURLOPT_NOSIGNAL>(api, curl, 1L);
template <CURLoption kOption, typename T>
CURLcode SetOption(const CurlApi& api, CURL* curl, T value) {
  constexpr int kKind = kOption / 10000 * 10000;
  if constexpr (kKind == CURLOPTTYPE_LONG) {
    static_assert(std::is_integral_v<T> || std::is_enum_v<T>, "this option takes a whole number");
    return api.easy_setopt(curl, kOption, static_cast<long>(value));
  } else if constexpr (kKind == CURLOPTTYPE_OBJECTPOINT) {
    static_assert(std::is_pointer_v<T> && !std::is_function_v<std::remove_pointer_t<T>>, "this option takes an object");
    return api.easy_setopt(curl, kOption, value);
  } else if constexpr (kKind == CURLOPTTYPE_FUNCTIONPOINT) {
    static_assert(std::is_pointer_v<T> && std::is_function_v<std::remove_pointer_t<T>>, "this option takes a function");
    return api.easy_setopt(curl, kOption, value);
  } else {
    static_assert(kKind == CURLOPTTYPE_OFF_T && std::is_integral_v<T>, "this option takes a curl_off_t");
    return api.easy_setopt(curl, kOption, static_cast<curl_off_t>(value));
  }
}

}  // namespace mirelune
