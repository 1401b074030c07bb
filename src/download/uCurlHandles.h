// Owning wrappers for libcurl's handles, so that every path out of a transfer releases
// them.
#pragma once

#include <curl/curl.h>

#include <memory>
#include <string>

namespace skimbrook {

struct TCurlEasyCleanup {
  void operator()(CURL* Handle) const { curl_easy_cleanup(Handle); }
};
struct TCurlMultiCleanup {
  void operator()(CURLM* Handle) const { curl_multi_cleanup(Handle); }
};
struct TCurlShareCleanup {
  void operator()(CURLSH* Handle) const { curl_share_cleanup(Handle); }
};
struct TCurlSlistCleanup {
  void operator()(curl_slist* List) const { curl_slist_free_all(List); }
};

using TCurlEasy = std::unique_ptr<CURL, TCurlEasyCleanup>;
using TCurlMulti = std::unique_ptr<CURLM, TCurlMultiCleanup>;
using TCurlShare = std::unique_ptr<CURLSH, TCurlShareCleanup>;
using TCurlSlist = std::unique_ptr<curl_slist, TCurlSlistCleanup>;

// Why libcurl, which is loaded when it is first used, could not be loaded; empty when it
// was, or has not been asked for yet.
std::string CurlLibraryError();

// Appends Text to List (which may be empty); throws std::bad_alloc when libcurl cannot.
void CurlSlistAppend(TCurlSlist& List, const char* Text);

}  // namespace skimbrook
