// mail_curl.h — libcurl, loaded the first time a card is mailed.
//
//   std::string why;
//   const CurlApi* curl = LoadCurl(&why);   // nullptr, and why, when libcurl.so.4 is missing
//   CURL* h = curl->easy_init();
//
// Making a card needs no network, so the programs are not linked against libcurl:
// loading it and its TLS and name-service libraries at every start costs more than
// the rest of start-up together. Only the functions the SMTP sender calls are here.
#pragma once

#include <curl/curl.h>

#include <string>

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
const CurlApi* LoadCurl(std::string* why);

}  // namespace mirelune
