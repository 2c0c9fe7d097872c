// The box: a pseudo-terminal pair and the thread that answers on it.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "dsc_sim.h"

namespace dscsim {
namespace {

using SteadyClock = std::chrono::steady_clock;

timespec ToTimespec(SteadyClock::time_point t) {
  // steady_clock counts CLOCK_MONOTONIC on this platform.
  const auto ns =
      std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(ns / 1000000000);
  ts.tv_nsec = static_cast<long>(ns % 1000000000);
  return ts;
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

std::string Reason(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

}  // namespace

Box::Box() : Box(Options{}) {}

Box::Box(const Options& options) : options_(options), pacing_(options.pacing) {
  rng_state_ = options.seed != 0 ? options.seed : 1;
  if (options_.baud <= 0) options_.baud = 9600;
}

Box::~Box() { Stop(); }

bool Box::OpenPair(std::string* error) {
  const int m = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (m < 0) {
    if (error) *error = Reason("posix_openpt");
    return false;
  }
  char name[256];
  if (::grantpt(m) != 0 || ::unlockpt(m) != 0 || ::ptsname_r(m, name, sizeof name) != 0) {
    if (error) *error = Reason("grantpt/unlockpt/ptsname");
    ::close(m);
    return false;
  }
  // Raw: no echo, no line editing, no translation; every byte as it is.
  termios t{};
  if (::tcgetattr(m, &t) == 0) {
    ::cfmakeraw(&t);
    ::cfsetispeed(&t, B9600);
    ::cfsetospeed(&t, B9600);
    ::tcsetattr(m, TCSANOW, &t);
  }
  ::fcntl(m, F_SETFL, ::fcntl(m, F_GETFL) | O_NONBLOCK);
  // Without an open slave the master reads as hung up; keep one open so that
  // the pair stays usable between the other side's sessions.
  const int keep = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (keep < 0) {
    if (error) *error = Reason(name);
    ::close(m);
    return false;
  }
  master_ = m;
  slave_keep_ = keep;
  slave_path_ = name;
  return true;
}

void Box::ClosePair() {
  CloseFd(master_);
  CloseFd(slave_keep_);
  slave_path_.clear();
}

bool Box::Start(std::string* error) {
  std::lock_guard control(control_mutex_);
  std::lock_guard lock(mutex_);
  if (running_) return true;
  int wake[2];
  if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
    if (error) *error = Reason("pipe2");
    return false;
  }
  if (master_ < 0 && !OpenPair(error)) {
    ::close(wake[0]);
    ::close(wake[1]);
    return false;
  }
  wake_read_ = wake[0];
  wake_write_ = wake[1];
  wake_pending_ = false;
  request_ = Request::kNone;
  running_ = true;
  thread_ = std::thread(&Box::Run, this);
  return true;
}

void Box::Stop() {
  std::lock_guard control(control_mutex_);
  {
    std::lock_guard lock(mutex_);
    if (!running_) {
      ClosePair();
      return;
    }
    request_ = Request::kStop;
    request_done_ = false;
  }
  wake_pending_ = true;
  const char c = 's';
  [[maybe_unused]] ssize_t n = ::write(wake_write_, &c, 1);
  thread_.join();
  std::lock_guard lock(mutex_);
  ClosePair();
  CloseFd(wake_read_);
  CloseFd(wake_write_);
  running_ = false;
  request_ = Request::kNone;
  changed_.notify_all();
}

bool Box::running() const {
  std::lock_guard lock(mutex_);
  return running_;
}

std::string Box::SlavePath() const {
  std::lock_guard lock(mutex_);
  return slave_path_;
}

bool Box::plugged() const {
  std::lock_guard lock(mutex_);
  return !slave_path_.empty();
}

bool Box::IssueRequest(Request request, std::string* error) {
  std::lock_guard control(control_mutex_);
  std::unique_lock lock(mutex_);
  if (!running_) {
    // Nobody else owns the pair: act here.
    if (request == Request::kUnplug) {
      if (master_ < 0) return false;
      ClosePair();
      return true;
    }
    if (master_ >= 0) return true;
    return OpenPair(error);
  }
  request_ = request;
  request_done_ = false;
  wake_pending_ = true;
  const char c = 'r';
  [[maybe_unused]] ssize_t n = ::write(wake_write_, &c, 1);
  changed_.wait(lock, [this] { return request_done_; });
  if (!request_ok_ && error) *error = request_error_;
  return request_ok_;
}

bool Box::Unplug() { return IssueRequest(Request::kUnplug, nullptr); }

bool Box::Replug(std::string* error) { return IssueRequest(Request::kReplug, error); }

// Runs on the answering thread.  Returns after acting on the pending request.
void Box::HandleRequest() {
  char drain[64];
  while (::read(wake_read_, drain, sizeof drain) > 0) {
  }
  std::lock_guard lock(mutex_);
  wake_pending_ = false;
  switch (request_) {
    case Request::kUnplug:
      request_ok_ = master_ >= 0;
      ClosePair();
      break;
    case Request::kReplug:
      request_error_.clear();
      request_ok_ = master_ >= 0 || OpenPair(&request_error_);
      break;
    case Request::kStop:
    case Request::kNone:
      return;  // Stop joins the thread; nothing to report
  }
  request_ = Request::kNone;
  request_done_ = true;
  changed_.notify_all();
}

void Box::Run() {
  unsigned char buffer[256];
  for (;;) {
    pollfd fds[2] = {{wake_read_, POLLIN, 0}, {master_, POLLIN, 0}};
    const nfds_t count = master_ >= 0 ? 2 : 1;
    const int ready = ::poll(fds, count, 100);
    if (ready < 0 && errno != EINTR) {
      ::usleep(10000);
      continue;
    }
    if (wake_pending_ || (fds[0].revents & POLLIN) != 0) {
      {
        std::lock_guard lock(mutex_);
        if (request_ == Request::kStop) return;
      }
      HandleRequest();
      continue;
    }
    if (count < 2 || fds[1].revents == 0) continue;
    if ((fds[1].revents & POLLIN) == 0) {
      // Hung up or in error: wait for a request rather than spin.
      pollfd wake{wake_read_, POLLIN, 0};
      ::poll(&wake, 1, 20);
      continue;
    }
    const ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n <= 0) {
      if (n < 0 && errno != EAGAIN && errno != EINTR) {
        pollfd wake{wake_read_, POLLIN, 0};
        ::poll(&wake, 1, 20);
      }
      continue;
    }
    const auto arrival = SteadyClock::now();
    for (ssize_t i = 0; i < n && !wake_pending_; ++i) HandleByte(buffer[i], arrival);
  }
}

void Box::HandleByte(unsigned char byte, SteadyClock::time_point arrival) {
  const bool counts = byte == 'Q';
  const bool status = byte == 'P';
  {
    std::lock_guard lock(mutex_);
    ++stats_.bytes_received;
    if (counts) ++stats_.q_received;
    if (status) ++stats_.p_received;
    if (counts || status) stats_.last_query = arrival;
  }
  changed_.notify_all();
  if (!counts && !status) return;
  std::function<void()> hook;
  {
    std::lock_guard lock(mutex_);
    hook = before_answer_;
  }
  if (hook) hook();
  Answer(counts, arrival);
}

void Box::SetBeforeAnswer(std::function<void()> hook) {
  std::lock_guard lock(mutex_);
  before_answer_ = std::move(hook);
}

void Box::Answer(bool counts, SteadyClock::time_point arrival) {
  Faults faults;
  bool pacing;
  std::string payload;
  {
    std::lock_guard lock(mutex_);
    faults = faults_;
    pacing = pacing_;
    if (counts && counts_raw_set_) {
      payload = counts_raw_;
    } else {
      payload = counts ? FormatCounts(counts_[0], counts_[1], !faults.no_signs) : status_;
    }
  }
  if (faults.silent) return;
  if (faults.garbage) {
    for (char& c : payload) {
      unsigned char b;
      do {
        // xorshift32: cheap, and reproducible from the seed.
        rng_state_ ^= rng_state_ << 13;
        rng_state_ ^= rng_state_ >> 17;
        rng_state_ ^= rng_state_ << 5;
        b = static_cast<unsigned char>(rng_state_ >> 24);
      } while (IsFlowControlByte(b) || b == 'Q' || b == 'P');
      c = static_cast<char>(b);
    }
  }
  if (faults.short_length >= 0 && payload.size() > static_cast<std::size_t>(faults.short_length)) {
    payload.resize(static_cast<std::size_t>(faults.short_length));
  }
  for (char& c : payload) {
    if (IsFlowControlByte(static_cast<unsigned char>(c))) c = '?';
  }
  if (payload.empty()) return;

  const auto byte_time = pacing ? ByteTime() : std::chrono::nanoseconds{0};
  const auto gap = std::chrono::milliseconds(std::max(0, faults.byte_gap_ms));
  // Each byte has an absolute deadline: the moment its stop bit would end on
  // a real line.  Answers to queries that queued up follow each other without
  // a pause, and sleeping late for one byte does not delay the next.
  auto deadline = std::max(arrival, chain_end_) +
                  std::chrono::milliseconds(std::max(0, faults.answer_delay_ms));
  std::uint64_t sent = 0;
  for (std::size_t i = 0; i < payload.size(); ++i) {
    deadline += byte_time;
    if (i > 0) deadline += gap;
    if (!SleepUntil(deadline)) break;
    if (::write(master_, &payload[i], 1) == 1) ++sent;
  }
  const auto end = SteadyClock::now();
  chain_end_ = pacing ? std::min(deadline, end) : end;
  {
    std::lock_guard lock(mutex_);
    stats_.bytes_sent += sent;
    if (sent > 0) {
      if (counts) {
        ++stats_.q_answered;
      } else {
        ++stats_.p_answered;
      }
      stats_.last_answer_end = end;
    }
  }
  changed_.notify_all();
}

// Sleeps until the deadline (CLOCK_MONOTONIC, absolute), unless a request
// comes first; then returns false at once.
bool Box::SleepUntil(SteadyClock::time_point deadline) {
  using namespace std::chrono_literals;
  for (;;) {
    if (wake_pending_) return false;
    const auto now = SteadyClock::now();
    if (now >= deadline) return true;
    const auto remaining = deadline - now;
    if (remaining > 3ms) {
      pollfd wake{wake_read_, POLLIN, 0};
      const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(remaining - 2ms);
      ::poll(&wake, 1, static_cast<int>(ms.count()));
      continue;
    }
    const timespec ts = ToTimespec(deadline);
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
    return !wake_pending_;
  }
}

void Box::SetCounts(std::int32_t first, std::int32_t second) {
  std::lock_guard lock(mutex_);
  counts_raw_set_ = false;
  counts_[0] = std::clamp(first, -kMaxCount, kMaxCount);
  counts_[1] = std::clamp(second, -kMaxCount, kMaxCount);
}

std::pair<std::int32_t, std::int32_t> Box::Counts() const {
  std::lock_guard lock(mutex_);
  return {counts_[0], counts_[1]};
}

void Box::SetStatus(int value) {
  std::lock_guard lock(mutex_);
  status_ = FormatStatus(value);
}

bool Box::SetStatusBytes(std::string_view bytes) {
  if (bytes.size() != kStatusAnswerLength) return false;
  for (char c : bytes) {
    if (IsFlowControlByte(static_cast<unsigned char>(c))) return false;
  }
  std::lock_guard lock(mutex_);
  status_ = std::string(bytes);
  return true;
}

bool Box::SetCountsBytes(std::string_view bytes) {
  if (bytes.size() > 4096) return false;
  for (char c : bytes) {
    if (IsFlowControlByte(static_cast<unsigned char>(c))) return false;
  }
  std::lock_guard lock(mutex_);
  counts_raw_ = std::string(bytes);
  counts_raw_set_ = true;
  return true;
}

void Box::ClearCountsBytes() {
  std::lock_guard lock(mutex_);
  counts_raw_set_ = false;
}

bool Box::SendNow(std::string_view bytes) {
  std::lock_guard lock(mutex_);
  if (master_ < 0) return false;
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::write(master_, bytes.data() + sent, bytes.size() - sent);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  stats_.bytes_sent += sent;
  return true;
}

std::string Box::StatusBytes() const {
  std::lock_guard lock(mutex_);
  return status_;
}

void Box::SetPacing(bool on) {
  std::lock_guard lock(mutex_);
  pacing_ = on;
}

bool Box::pacing() const {
  std::lock_guard lock(mutex_);
  return pacing_;
}

std::chrono::nanoseconds Box::ByteTime() const {
  // 8N1: a start bit, 8 data bits and a stop bit.
  return std::chrono::nanoseconds(10LL * 1000000000LL / options_.baud);
}

void Box::SetFaults(const Faults& faults) {
  std::lock_guard lock(mutex_);
  faults_ = faults;
}

Faults Box::GetFaults() const {
  std::lock_guard lock(mutex_);
  return faults_;
}

void Box::ClearFaults() { SetFaults(Faults{}); }

void Box::SetSilent(bool on) {
  std::lock_guard lock(mutex_);
  faults_.silent = on;
}

void Box::SetShortAnswer(int length) {
  std::lock_guard lock(mutex_);
  faults_.short_length = length < 0 ? -1 : length;
}

void Box::SetGarbage(bool on) {
  std::lock_guard lock(mutex_);
  faults_.garbage = on;
}

void Box::SetNoSigns(bool on) {
  std::lock_guard lock(mutex_);
  faults_.no_signs = on;
}

void Box::SetByteGap(int milliseconds) {
  std::lock_guard lock(mutex_);
  faults_.byte_gap_ms = std::max(0, milliseconds);
}

void Box::SetAnswerDelay(int milliseconds) {
  std::lock_guard lock(mutex_);
  faults_.answer_delay_ms = std::max(0, milliseconds);
}

void Box::SetSkyModel(const SkyModel& model) {
  std::lock_guard lock(mutex_);
  model_ = model;
  turned_ = {};
}

SkyModel Box::GetSkyModel() const {
  std::lock_guard lock(mutex_);
  return model_;
}

void Box::SetConnectTime(double julian_date) {
  std::lock_guard lock(mutex_);
  model_.connect_julian_date = julian_date;
  turned_ = {};
}

std::pair<std::int32_t, std::int32_t> Box::PointAt(double ra, double dec, double julian_date) {
  std::lock_guard lock(mutex_);
  const auto counts = CountsFor(model_, ra, dec, julian_date, &turned_);
  counts_[0] = counts.first;
  counts_[1] = counts.second;
  return counts;
}

std::pair<std::int32_t, std::int32_t> Box::PointAxes(double first, double second) {
  std::lock_guard lock(mutex_);
  counts_[0] = CountsForAngle(first, model_.axis1);
  counts_[1] = CountsForAngle(second, model_.axis2);
  turned_ = {first, second};
  return {counts_[0], counts_[1]};
}

Stats Box::GetStats() const {
  std::lock_guard lock(mutex_);
  return stats_;
}

void Box::ResetStats() {
  std::lock_guard lock(mutex_);
  stats_ = Stats{};
}

bool Box::WaitFor(const std::function<bool(const Stats&)>& done,
                  std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return done(stats_); });
}

}  // namespace dscsim
