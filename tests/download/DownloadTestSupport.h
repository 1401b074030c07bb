// Test doubles shared by the download tests: a scripted HTTP client, a view that records
// what the run shows, a feed document builder and a scoped change of
// the current directory.
#pragma once

#include <unistd.h>

#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "download/uDownloadRun.h"

namespace skimbrook::test {

// A client whose answers are set per URL; a URL without an answer fails like a 404.
class TScriptedClient : public HttpClient {
 public:
  std::map<std::string, std::function<std::string()>> Answers;
  std::vector<std::string> Fetched;
  std::optional<THttpProxy> Proxy;
  int Aborts = 0;

  THttpResponse Fetch(const THttpRequest& Request) override {
    Fetched.push_back(Request.Url);
    if (OnStatus) OnStatus("Connected.");
    auto it = Answers.find(Request.Url);
    if (it == Answers.end()) return {404, "HTTP/1.1 404 Not Found", {}, "", ""};
    std::string body = it->second();
    if (OnProgress) OnProgress(static_cast<std::int64_t>(body.size()));
    return {200, "HTTP/1.1 200 OK", {}, std::move(body), ""};
  }
  void SetProxy(const THttpProxy& P) override { Proxy = P; }
  void Abort() override { ++Aborts; }
};

// Records what a run shows, one line per event ("status 0 done").
class TRecordingView : public TDownloadView {
 public:
  std::vector<std::string> Events;
  void RowAdded(int Row, const std::string& Title, const std::string& XmlUrl) override {
    Events.push_back("add " + std::to_string(Row) + " " + Title + " " + XmlUrl);
  }
  void RowStarted(int Row) override { Events.push_back("start " + std::to_string(Row)); }
  void RowStatusChanged(int Row, const std::string& Status) override {
    Events.push_back("status " + std::to_string(Row) + " " + Status);
  }
  void LogLineAdded(const std::string&) override {}
  void RowReasonChanged(int Row, const std::string& Reason) override {
    Events.push_back("reason " + std::to_string(Row) + " " + Reason);
  }
};

// A small RSS 2.0 document with one item per title.
inline std::string Rss(const std::vector<std::string>& Titles, const char* LineEnd = "\n") {
  std::string text =
      std::string("<?xml version=\"1.0\"?>") + LineEnd + "<rss version=\"2.0\"><channel>" + LineEnd +
      "<title>Channel</title><link>http://example.com/</link><description>D</description>" + LineEnd;
  for (const auto& title : Titles) text += "<item><title>" + title + "</title></item>" + LineEnd;
  return text + "</channel></rss>" + LineEnd;
}

// Makes Path the current directory and restores the previous one at the end.
class TScopedCurrentDir {
 public:
  explicit TScopedCurrentDir(const std::string& Path) {
    char buffer[4096];
    if (!::getcwd(buffer, sizeof buffer) || ::chdir(Path.c_str()) != 0)
      throw std::runtime_error("cannot change to " + Path);
    old_ = buffer;
  }
  ~TScopedCurrentDir() { (void)!::chdir(old_.c_str()); }
  TScopedCurrentDir(const TScopedCurrentDir&) = delete;
  TScopedCurrentDir& operator=(const TScopedCurrentDir&) = delete;

 private:
  std::string old_;
};

}  // namespace skimbrook::test
