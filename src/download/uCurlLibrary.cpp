// libcurl, loaded when the program first calls it. Linked directly, libcurl and the
// libraries it needs (TLS, Kerberos, LDAP, SSH, RTMP and more) were loaded and set up at
// every start, about 15 ms before the window could even be made, although a start
// downloads nothing before its window is shown. The functions below stand for those of
// libcurl that the program calls: the first call loads libcurl.so.4, and every call goes
// on to the library's own function. Without the library each fails as libcurl's own
// functions fail (an error code, no handle), and curl_easy_strerror tells why.
#define CURL_DISABLE_TYPECHECK
#include <curl/curl.h>
#include <dlfcn.h>

#include <cstdarg>
#include <string>

#include "download/uCurlHandles.h"

namespace skimbrook {

namespace {

struct TCurlLibrary {
  void* Handle = nullptr;
  std::string Error;  // why it could not be loaded
};

const TCurlLibrary& CurlLibrary() {
  static const TCurlLibrary library = [] {
    TCurlLibrary loaded;
    loaded.Handle = ::dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (!loaded.Handle) {
      const char* reason = ::dlerror();
      loaded.Error =
          std::string("libcurl could not be loaded: ") + (reason ? reason : "libcurl.so.4 not found");
    }
    return loaded;
  }();
  return library;
}

// libcurl's own function Name, of the type the program declares it with; none without
// the library.
template <typename Function>
Function* Resolve(const char* Name) {
  void* handle = CurlLibrary().Handle;
  return handle ? reinterpret_cast<Function*>(::dlsym(handle, Name)) : nullptr;
}

// Passes an option's one value on as the type libcurl reads it as, which the option's
// number tells (the ranges of CURLOPTTYPE_*, shared by the easy and the multi options).
template <typename Result, typename Handle, typename Option>
Result ForwardOption(Result (*Real)(Handle*, Option, ...), Handle* Target, Option Which, va_list Values) {
  const long kind = static_cast<long>(Which) / 10000 * 10000;
  if (kind == CURLOPTTYPE_LONG) return Real(Target, Which, va_arg(Values, long));
  if (kind == CURLOPTTYPE_OFF_T) return Real(Target, Which, va_arg(Values, curl_off_t));
  return Real(Target, Which, va_arg(Values, void*));
}

}  // namespace

std::string CurlLibraryError() {
  return CurlLibrary().Error;
}

}  // namespace skimbrook

using skimbrook::ForwardOption;
using skimbrook::Resolve;

// Each function finds libcurl's own once and keeps it.
#define SKIMBROOK_CURL_REAL(Name) static auto* const real = Resolve<decltype(::Name)>(#Name)

// Kept inside the program: libcurl's own calls to its functions stay within libcurl.
#pragma GCC visibility push(hidden)
extern "C" {

CURLcode curl_global_init(long Flags) {
  SKIMBROOK_CURL_REAL(curl_global_init);
  return real ? real(Flags) : CURLE_FAILED_INIT;
}

const char* curl_easy_strerror(CURLcode Code) {
  SKIMBROOK_CURL_REAL(curl_easy_strerror);
  return real ? real(Code) : skimbrook::CurlLibrary().Error.c_str();
}

const char* curl_multi_strerror(CURLMcode Code) {
  SKIMBROOK_CURL_REAL(curl_multi_strerror);
  return real ? real(Code) : skimbrook::CurlLibrary().Error.c_str();
}

CURL* curl_easy_init() {
  SKIMBROOK_CURL_REAL(curl_easy_init);
  return real ? real() : nullptr;
}

void curl_easy_cleanup(CURL* Handle) {
  SKIMBROOK_CURL_REAL(curl_easy_cleanup);
  if (real) real(Handle);
}

CURLcode curl_easy_setopt(CURL* Handle, CURLoption Option, ...) {
  SKIMBROOK_CURL_REAL(curl_easy_setopt);
  if (!real) return CURLE_FAILED_INIT;
  va_list values;
  va_start(values, Option);
  const CURLcode result = ForwardOption(real, Handle, Option, values);
  va_end(values);
  return result;
}

CURLcode curl_easy_getinfo(CURL* Handle, CURLINFO Info, ...) {
  SKIMBROOK_CURL_REAL(curl_easy_getinfo);
  if (!real) return CURLE_FAILED_INIT;
  va_list values;
  va_start(values, Info);
  // Every piece of information is written through a pointer.
  const CURLcode result = real(Handle, Info, va_arg(values, void*));
  va_end(values);
  return result;
}

CURLM* curl_multi_init() {
  SKIMBROOK_CURL_REAL(curl_multi_init);
  return real ? real() : nullptr;
}

CURLMcode curl_multi_cleanup(CURLM* Multi) {
  SKIMBROOK_CURL_REAL(curl_multi_cleanup);
  return real ? real(Multi) : CURLM_BAD_HANDLE;
}

CURLMcode curl_multi_setopt(CURLM* Multi, CURLMoption Option, ...) {
  SKIMBROOK_CURL_REAL(curl_multi_setopt);
  if (!real) return CURLM_BAD_HANDLE;
  va_list values;
  va_start(values, Option);
  const CURLMcode result = ForwardOption(real, Multi, Option, values);
  va_end(values);
  return result;
}

CURLMcode curl_multi_add_handle(CURLM* Multi, CURL* Handle) {
  SKIMBROOK_CURL_REAL(curl_multi_add_handle);
  return real ? real(Multi, Handle) : CURLM_BAD_HANDLE;
}

CURLMcode curl_multi_remove_handle(CURLM* Multi, CURL* Handle) {
  SKIMBROOK_CURL_REAL(curl_multi_remove_handle);
  return real ? real(Multi, Handle) : CURLM_BAD_HANDLE;
}

CURLMcode curl_multi_socket_action(CURLM* Multi, curl_socket_t Socket, int Events, int* Running) {
  SKIMBROOK_CURL_REAL(curl_multi_socket_action);
  return real ? real(Multi, Socket, Events, Running) : CURLM_BAD_HANDLE;
}

CURLMsg* curl_multi_info_read(CURLM* Multi, int* Left) {
  SKIMBROOK_CURL_REAL(curl_multi_info_read);
  return real ? real(Multi, Left) : nullptr;
}

CURLSH* curl_share_init() {
  SKIMBROOK_CURL_REAL(curl_share_init);
  return real ? real() : nullptr;
}

CURLSHcode curl_share_cleanup(CURLSH* Share) {
  SKIMBROOK_CURL_REAL(curl_share_cleanup);
  return real ? real(Share) : CURLSHE_INVALID;
}

CURLSHcode curl_share_setopt(CURLSH* Share, CURLSHoption Option, ...) {
  SKIMBROOK_CURL_REAL(curl_share_setopt);
  if (!real) return CURLSHE_INVALID;
  va_list values;
  va_start(values, Option);
  // What to share is an int (a curl_lock_data); the other options take pointers.
  const CURLSHcode result = Option == CURLSHOPT_SHARE || Option == CURLSHOPT_UNSHARE
                                ? real(Share, Option, va_arg(values, int))
                                : real(Share, Option, va_arg(values, void*));
  va_end(values);
  return result;
}

curl_slist* curl_slist_append(curl_slist* List, const char* Text) {
  SKIMBROOK_CURL_REAL(curl_slist_append);
  return real ? real(List, Text) : nullptr;
}

void curl_slist_free_all(curl_slist* List) {
  SKIMBROOK_CURL_REAL(curl_slist_free_all);
  if (real) real(List);
}

void curl_free(void* Memory) {
  SKIMBROOK_CURL_REAL(curl_free);
  if (real) real(Memory);
}

CURLU* curl_url() {
  SKIMBROOK_CURL_REAL(curl_url);
  return real ? real() : nullptr;
}

void curl_url_cleanup(CURLU* Url) {
  SKIMBROOK_CURL_REAL(curl_url_cleanup);
  if (real) real(Url);
}

CURLUcode curl_url_set(CURLU* Url, CURLUPart What, const char* Part, unsigned int Flags) {
  SKIMBROOK_CURL_REAL(curl_url_set);
  return real ? real(Url, What, Part, Flags) : CURLUE_OUT_OF_MEMORY;
}

CURLUcode curl_url_get(CURLU* Url, CURLUPart What, char** Part, unsigned int Flags) {
  SKIMBROOK_CURL_REAL(curl_url_get);
  return real ? real(Url, What, Part, Flags) : CURLUE_OUT_OF_MEMORY;
}

time_t curl_getdate(const char* Text, const time_t* Unused) {
  SKIMBROOK_CURL_REAL(curl_getdate);
  return real ? real(Text, Unused) : -1;
}

}  // extern "C"
#pragma GCC visibility pop
