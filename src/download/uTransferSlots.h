// Which transfers of a download run may start now: at most a number at once, kMaxPerHost
// to one host, and while the answers held for earlier rows pass a bound, only the first
// row not done (whose answer is worked on at once).
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace skimbrook {

// The most transfers at once to one host, whatever the run allows: a server is not there
// for one reader alone.
inline constexpr int kMaxPerHost = 2;

// What kMaxPerHost counts transfers by: the host of Url, letter case aside.
std::string HostKey(const std::string& Url);

class TTransferSlots {
 public:
  // Simultaneous transfers at once (at least 1); held answers up to MaxHeldBytes.
  void SetLimits(int Simultaneous, std::uint64_t MaxHeldBytes) {
    limit_ = Simultaneous < 1 ? 1 : Simultaneous;
    maxHeldBytes_ = MaxHeldBytes;
  }
  bool Full() const { return running_ >= limit_; }
  int Running() const { return running_; }
  // Whether a transfer to Host may start; FirstNotDone: its row is the first one not done.
  bool CanStart(const std::string& Host, bool FirstNotDone) const {
    const auto host = perHost_.find(Host);
    if (host != perHost_.end() && host->second >= kMaxPerHost) return false;
    return heldBytes_ < maxHeldBytes_ || FirstNotDone;
  }
  void Started(const std::string& Host) {
    ++running_;
    ++perHost_[Host];
  }
  void Ended(const std::string& Host) {
    --running_;
    if (--perHost_[Host] == 0) perHost_.erase(Host);
  }
  // An answer waits for the rows before it; it is let go when worked on (or all at once
  // when the run stops).
  void Hold(std::uint64_t Bytes) { heldBytes_ += Bytes; }
  void Release(std::uint64_t Bytes) { heldBytes_ -= Bytes; }
  void ReleaseAll() { heldBytes_ = 0; }

 private:
  int limit_ = 1;
  std::uint64_t maxHeldBytes_ = 0;
  int running_ = 0;
  std::map<std::string, int> perHost_;
  std::uint64_t heldBytes_ = 0;
};

}  // namespace skimbrook
