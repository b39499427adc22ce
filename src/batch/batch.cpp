// batch.cpp — the batch run: a reader feeding rows to worker threads, each making
// its card, saving it, and appending one manifest line.
#include "batch/batch.h"

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include "base/windows_posix.h"
#else
#include <sys/file.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <functional>
#include <iomanip>
#include <memory>
#include <mutex>
#include <numeric>
#include <optional>
#include <regex>
#include <span>
#include <sstream>
#include <system_error>
#include <thread>
#include <unordered_map>

#include "base/rate_limit.h"
#include "batch/list.h"
#include "files/safe_open.h"
#include "mail/mail.h"

namespace mirelune {
namespace {

using json = nlohmann::ordered_json;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

// A JSON-lines file appended one whole line at a time: a single write() with
// O_APPEND under flock, and on a short write the file is cut back, so a reader
// never meets half a line. Several processes may append to one file (the mail
// journal of a list's shards); flock keeps one's repair from cutting another's line.
// flock, exclusive, for one scope. Only an interrupted call fails; then the lock
// is not held, and the appended line may at worst be cut by a concurrent repair,
// which a reader drops.
struct FileLock {
  int fd;
  explicit FileLock(int f) : fd(f) {
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  ~FileLock() { ::flock(fd, LOCK_UN); }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
};

class LineLog {
 public:
  ~LineLog() {
    if (fd_ >= 0) ::close(fd_);
  }
  Result<> Open(const fs::path& path) {
    path_ = path;
    // Opened where it is: never through a symlink, only a regular file, and not a
    // file someone else could have linked or planted in a shared folder.
    Result<OpenFile> opened = OpenInPlace(path);
    if (!opened) return opened.error();
    fd_ = opened->fd.release();
    // A line cut short by a full disk or a crash of the machine is dropped.
    const FileLock held(fd_);
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return Error{"cannot read " + path.string() + ": " + std::strerror(errno)};
    off_t keep = st.st_size;
    for (char c = 0; keep > 0 && ::pread(fd_, &c, 1, keep - 1) == 1 && c != '\n';) --keep;
    if (keep != st.st_size && ::ftruncate(fd_, keep) != 0) {
      return Error{"cannot repair " + path.string() + ": " + std::strerror(errno)};
    }
    return {};
  }
  // One whole line, durable when this returns.
  Result<> Append(const std::string& line) {
    MIRELUNE_TRY(Write(line));
    return Sync();
  }
  // One whole line, durable at the next Sync; it survives the process's end at once.
  Result<> Write(const std::string& line) {
    std::lock_guard<std::mutex> lock(mu_);  // flock is the process's: threads need their own
    const FileLock held(fd_);
    struct stat st {};
    // The length before the line is what a short write is cut back to: unknown, nothing is written.
    if (::fstat(fd_, &st) != 0) return Error{"cannot write " + path_.string() + ": " + std::strerror(errno)};
    const ssize_t n = ::write(fd_, line.data(), line.size());
    if (n == static_cast<ssize_t>(line.size())) return {};
    const int err = n < 0 ? errno : ENOSPC;
    // Cut back what part of the line did land; if even that fails, the next Open
    // drops the broken tail.
    [[maybe_unused]] const int cut = ::ftruncate(fd_, st.st_size);
    return Error{"cannot write " + path_.string() + ": " + std::strerror(err)};
  }
  Result<> Sync() {
    if (::fsync(fd_) == 0) return {};
    return Error{"cannot write " + path_.string() + ": " + std::strerror(errno)};
  }

 private:
  fs::path path_;
  int fd_ = -1;
  std::mutex mu_;
};

Result<> SyncFolder(const fs::path& dir);

// One JSON line. Paths and server replies may hold bytes that are not UTF-8; they
// are written as U+FFFD rather than ending the run with an exception.
std::string JsonLine(const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace) + "\n"; }

// Lines waiting for the manifest writer: a reader that meets a long run of bad
// rows waits for the disk instead of piling them up in memory.
constexpr std::size_t kMaxPendingLines = 4096;

// Manifest lines are written by one thread in groups: the folder is synced once
// (the cards of the group are then on disk for good), the lines written, the
// manifest synced once. A disk that takes long to sync then slows a batch by one
// sync a group, not three a card. A row whose line is lost in a crash is made
// again by the next run.
class ManifestWriter {
 public:
  // `lost(row, why)` hears of every line that could not be written.
  ManifestWriter(LineLog& log, fs::path dir, std::function<void(long, const std::string&)> lost)
      : log_(log), dir_(std::move(dir)), lost_(std::move(lost)), thread_([this] { Loop(); }) {}
  ~ManifestWriter() {
    {
      std::lock_guard<std::mutex> lock(mu_);
      stop_ = true;
    }
    cv_.notify_one();
    thread_.join();
  }
  void Add(long row, std::string line) {
    std::unique_lock<std::mutex> lock(mu_);
    room_.wait(lock, [&] { return pending_.size() < kMaxPendingLines; });
    pending_.emplace_back(row, std::move(line));
    cv_.notify_one();
  }

 private:
  void Loop() {
    std::unique_lock<std::mutex> lock(mu_);
    for (;;) {
      cv_.wait(lock, [&] { return stop_ || !pending_.empty(); });
      if (pending_.empty()) return;
      std::vector<std::pair<long, std::string>> group;
      group.swap(pending_);
      room_.notify_all();
      lock.unlock();
      try {
        WriteGroup(group);
      } catch (const std::exception&) {
        // Out of memory for a message: the group's rows have no line and are made again
        // by the next run; this thread must not end the process.
      }
      lock.lock();
    }
  }
  void WriteGroup(const std::vector<std::pair<long, std::string>>& group) {
    // A line says its card is on disk: not while the card's name may still be lost.
    if (const Result<> synced = SyncFolder(dir_); !synced) {
      for (const auto& [row, line] : group) lost_(row, synced.message);
      return;
    }
    std::vector<long> written;
    for (const auto& [row, line] : group) {
      if (const Result<> w = log_.Write(line); w)
        written.push_back(row);
      else
        lost_(row, w.message);
    }
    if (const Result<> synced = log_.Sync(); !synced)
      for (long row : written) lost_(row, synced.message);
  }

  LineLog& log_;
  fs::path dir_;
  std::function<void(long, const std::string&)> lost_;
  std::mutex mu_;
  std::condition_variable cv_, room_;
  std::vector<std::pair<long, std::string>> pending_;
  bool stop_ = false;
  std::thread thread_;
};

// Every complete line of a JSON-lines file that parses, with its place in the file.
// Opened as it is appended to (OpenToRead): a link, a FIFO or another user's file
// planted under its name is refused, not read; a missing file has no lines. Read
// back, it decides what is made or mailed, so it must be this user's (or root's)
// and nobody else's to write. Past `most` bytes (0: no bound), or with a line of
// more than kMaxLine, it is refused rather than read into memory.
constexpr std::size_t kMaxLine = 64 * 1024;
template <typename Fn>
Result<> ForEachLine(const fs::path& path, Fn&& fn, std::streamoff most = 0) {
  Result<OpenFile> read = OpenToRead(path);
  if (!read) return read.error().code == ENOENT ? Result<>() : Result<>(read.error());
  OpenFile& opened = *read;
  const auto refuse = [&](const std::string& why) { return Error{"cannot read " + path.string() + ": " + why + "; refused", EPERM}; };
#ifndef _WIN32  // no owner or "others" bits: the output folder's ACL decides who may write
  if (opened.st.st_uid != ::geteuid() && opened.st.st_uid != 0) return refuse("it belongs to " + UserName(opened.st.st_uid));
  if (opened.st.st_mode & S_IWOTH) return refuse("every user may write it");
#endif
  if (most > 0 && opened.st.st_size > most) return refuse("it is larger than its list could have made it");
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(::fdopen(opened.fd.get(), "rb"), &std::fclose);
  if (!in) return Error{"cannot read " + path.string() + ": " + std::strerror(errno), errno};
  opened.fd.release();
  char* raw = nullptr;
  const struct Freed { char** p; ~Freed() { std::free(*p); } } freed{&raw};
  std::size_t capacity = 0;
  std::streamoff at = 0;
  for (ssize_t n; (n = ::getline(&raw, &capacity, in.get())) > 0;) {
    const std::streamoff start = at;
    at += n;
    if (static_cast<std::size_t>(n) > kMaxLine || (most > 0 && at > most))
      return refuse("it holds a line longer than a batch writes, or grew past what its list could have made it");
    if (raw[n - 1] != '\n') break;  // no newline: not a whole line
    json j = json::parse(raw, raw + n - 1, nullptr, false);
    if (!j.is_discarded() && j.is_object() && j.contains("row") && j["row"].is_number_integer())
      fn(j, start, static_cast<std::streamoff>(n));
  }
  return {};
}

// A string member of a line read back, or "" when it is missing or not a string:
// a damaged line must not stop the run.
std::string Text(const json& j, const char* key) {
  const auto it = j.find(key);
  return it != j.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// The folder's entries (the cards just written) made durable.
Result<> SyncFolder(const fs::path& dir) {
#ifdef _WIN32
  (void)dir;  // NTFS journals a folder's entries itself; the cards' own data were flushed when written
  return {};
#else
  const UniqueFd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd || ::fsync(fd.get()) != 0) return Error{"cannot sync the folder " + dir.string() + ": " + std::strerror(errno)};
  return {};
#endif
}

// The Message-ID's key of a row's message: from the row (its place and everything
// that makes its card and text) and the sender, so every run of the list, in any
// shards, sends a row's message under one Message-ID.
std::string MessageKey(const ListRow& row, const std::string& from) {
  const std::string basis = std::string("message\0", 8) + std::to_string(row.index) + '\0' + row.key + '\0' + from;
  return "mirelune." + Sha256Hex(basis.data(), basis.size()).substr(0, 32);
}

// Shards K/N and K'/N' share a row when K = K' modulo gcd(N, N').
bool ShardsOverlap(int k, int n, int k2, int n2) {
  const int g = std::gcd(n, n2);
  return k % g == k2 % g;
}

// Spaces messages evenly: at most `per_minute` a minute over all threads.
class MailPace {
 public:
  explicit MailPace(double per_minute) : bucket_(per_minute, 1, Now()) {}
  void Wait() {
    double wait = 0;
    {
      std::lock_guard<std::mutex> lock(mu_);
      wait = bucket_.Reserve(Now());
    }
    if (wait > 0) std::this_thread::sleep_for(std::chrono::duration<double>(wait));
  }

 private:
  static double Now() { return std::chrono::duration<double>(Clock::now().time_since_epoch()).count(); }
  std::mutex mu_;
  TokenBucket bucket_;
};

// Rows on their way from the reader to the workers; bounded, so a long list never
// piles up in memory.
class RowQueue {
 public:
  explicit RowQueue(std::size_t capacity) : capacity_(capacity) {}
  void Push(ListRow row) {
    std::unique_lock<std::mutex> lock(mu_);
    room_.wait(lock, [&] { return rows_.size() < capacity_; });
    rows_.push_back(std::move(row));
    ready_.notify_one();
  }
  void Close() {
    std::lock_guard<std::mutex> lock(mu_);
    closed_ = true;
    ready_.notify_all();
  }
  bool Pop(ListRow* row) {
    std::unique_lock<std::mutex> lock(mu_);
    ready_.wait(lock, [&] { return !rows_.empty() || closed_; });
    if (rows_.empty()) return false;
    *row = std::move(rows_.front());
    rows_.pop_front();
    room_.notify_one();
    return true;
  }

 private:
  std::size_t capacity_;
  std::mutex mu_;
  std::condition_variable ready_, room_;
  std::deque<ListRow> rows_;
  bool closed_ = false;
};

struct MailState {
  std::string key, state, message_key;
};

std::string Clock2(double seconds) {
  const long s = std::lround(std::max(0.0, seconds));
  char buf[32];
  std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  return buf;
}

class Run {
 public:
  Run(const BatchOptions& o, std::ostream& out, std::ostream& err) : o_(o), out_(out), err_(err), rate_(o.rate_per_minute) {}
  ~Run() {
    writer_.reset();
    if (lock_fd_ >= 0) ::close(lock_fd_);  // the lock ends with the run, not with the process
  }
  int Go();

 private:
  // Checks the settings, opens the list, locks and opens the manifest (and the
  // mail journal) and counts the rows; 0, or the exit status of the failure.
  int Start(ListReader* reader);
  void MakeRows(ListReader& reader);
  int Summary();
  std::string Suffix() const {
    return o_.shards == 1 ? "" : "-" + std::to_string(o_.shard) + "-of-" + std::to_string(o_.shards);
  }
  Result<> Lock();
  Result<> RefuseOverlappingRuns() const;
  // What the manifest or the journal may hold: each run writes a row at most one
  // manifest line and two journal lines (well under 4 KB each), so 256 KB a row is
  // far more than reruns of a list make, and bounds the time and memory of a planted one.
  std::streamoff MostBytes() const { return (list_rows_ + 1) * std::streamoff(256 * 1024); }
  Result<> LoadManifest();
  Result<> LoadJournal();
  bool Done(const ListRow& row) const;
  bool Mine(const ListRow& row) const { return row.index % o_.shards == o_.shard; }
  void Work();
  std::optional<json> MakeCard(const ListRow& row, const WriteOptions& files, Fonts& fonts, CardMemory& memory);
  void FinishRow(const ListRow& row, json line, MailSender* mail);
  template <typename F>
  void Guarded(const ListRow& row, F&& step) noexcept;
  bool MailRow(const ListRow& row, const fs::path& file, MailSender& mail, json* line);
  void Fail(const ListRow& row, const std::string& reason, json line = json::object());
  void Tell(const std::vector<std::string>& problems);
  void FailCaught(const ListRow& row, const char* what) noexcept;
  void Progress(bool final);
  Result<> Compact();

  const BatchOptions& o_;
  std::ostream& out_;
  std::ostream& err_;
  MailPace rate_;
  fs::path manifest_path_, journal_path_;
  LineLog manifest_, journal_;
  int lock_fd_ = -1;
  std::unordered_map<long, std::string> done_;  // row -> key of its "done" line
  std::unordered_map<long, MailState> mail_;    // row -> its journal lines, "sent" sticking

  std::mutex report_mu_;
  std::mutex gif_quantiser_;  // giflib's quantiser, for one GIF at a time (files/animation.h)
  std::vector<std::string> failures_;  // the first 20, for the summary
  std::vector<std::string> told_;      // text problems said so far: each once a run, not once a row
  std::atomic<long> made_{0}, failed_{0};
  long total_ = 0, done_before_ = 0, to_make_ = 0, list_rows_ = 0;
  int threads_ = 1;
  Clock::time_point start_;
  std::unique_ptr<RowQueue> queue_;
  std::unique_ptr<ManifestWriter> writer_;
};

Result<> Run::Lock() {
  const fs::path lock = o_.out_dir / (".manifest" + Suffix() + ".lock");
  Result<OpenFile> opened = OpenInPlace(lock);
  if (!opened) return opened.error();
  lock_fd_ = opened->fd.release();
  if (::flock(lock_fd_, LOCK_EX | LOCK_NB) != 0) {
    return Error{"another batch is already writing " + manifest_path_.string() + "; wait for it to end"};
  }
  return RefuseOverlappingRuns();
}

// Each run holds its layout's lock file for its life (the kernel lets go of it
// however the run ends). A lock file of another layout that someone holds is a
// live run; if its rows overlap ours, two processes would mail the same rows.
// Ours is held before the others are looked at, so of two runs starting at once
// at least one sees the other.
Result<> Run::RefuseOverlappingRuns() const {
  static const std::regex kLockName(R"(\.manifest(?:-([0-9]{1,6})-of-([0-9]{1,6}))?\.lock)");
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(o_.out_dir, ec)) {
    std::smatch m;
    const std::string name = e.path().filename().string();
    if (!std::regex_match(name, m, kLockName)) continue;
    const int k = m[1].matched ? std::stoi(m[1]) : 0, n = m[2].matched ? std::stoi(m[2]) : 1;
    if (n < 1 || k >= n || (k == o_.shard && n == o_.shards) || !ShardsOverlap(k, n, o_.shard, o_.shards)) continue;
#ifdef _WIN32
    const int fd = ::_wopen(e.path().c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
#else
    const int fd = ::open(e.path().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
#endif
    if (fd < 0) continue;  // not a lock a run could hold
    const bool live = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    if (live) {
      const std::string theirs = n == 1 ? "without --shard" : "with --shard " + std::to_string(k) + "/" + std::to_string(n);
      const std::string ours = o_.shards == 1 ? "all rows" : "--shard " + std::to_string(o_.shard) + "/" + std::to_string(o_.shards);
      return Error{"a batch " + theirs + " is running on " + o_.out_dir.string() + " and shares rows with " + ours +
                   "; wait for it to end, or run shards that do not overlap (K/N and K'/N' share rows when K and "
                   "K' are equal modulo the greatest common divisor of N and N')"};
    }
  }
  return {};
}

Result<> Run::LoadManifest() {
  return ForEachLine(manifest_path_, [&](const json& j, std::streamoff, std::streamoff) {
    const long row = j["row"].get<long>();
    if (Text(j, "status") == "done" && !Text(j, "key").empty())
      done_[row] = Text(j, "key");
    else
      done_.erase(row);
  }, MostBytes());
}

// The list's journal, and those earlier versions kept per shard layout
// (mail-journal-K-of-N.jsonl): a message any of them records as sent is never
// sent again, and one cut off goes again under the key it was first sent with.
Result<> Run::LoadJournal() {
  static const std::regex kOld(R"(mail-journal-[0-9]{1,6}-of-[0-9]{1,6}\.jsonl)");
  std::vector<fs::path> journals;
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(o_.out_dir, ec))
    if (std::regex_match(e.path().filename().string(), kOld) && e.is_regular_file(ec)) journals.push_back(e.path());
  std::sort(journals.begin(), journals.end());
  journals.push_back(journal_path_);
  const std::streamoff most = MostBytes();
  for (const fs::path& journal : journals) {
    // One that cannot be trusted (another user's in a shared folder) stops the run:
    // passed over, the messages it records as sent would go again.
    const Result<> read = ForEachLine(journal, [&](const json& j, std::streamoff, std::streamoff) {
      MailState m{Text(j, "key"), Text(j, "state"), Text(j, "message_key")};
      // The key goes into the Message-ID header: a line not written by a batch is passed over.
      const bool plain = m.message_key.size() <= 64 && std::all_of(m.message_key.begin(), m.message_key.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-';
      });
      const long row = j["row"].get<long>();
      if (m.message_key.empty() || !plain || row < 0 || row >= list_rows_) return;  // rows since cut from the list
      MailState& was = mail_[row];
      if (was.state != "sent" || was.key != m.key) was = m;
    }, most);
    if (!read) return read;
  }
  return {};
}

bool Run::Done(const ListRow& row) const {
  const auto it = done_.find(row.index);
  std::error_code ec;
  return it != done_.end() && it->second == row.key && fs::is_regular_file(o_.out_dir / row.file, ec);
}

void Run::Fail(const ListRow& row, const std::string& reason, json line) {
  const std::string text = "row " + std::to_string(row.index + 1) + " (line " + std::to_string(row.line) + "): " + reason;
  line["row"] = row.index;
  line["line"] = row.line;
  line["status"] = "failed";
  line["reason"] = reason;
  writer_->Add(-1, JsonLine(line));  // not done either way: a lost line changes nothing
  failed_++;
  std::lock_guard<std::mutex> lock(report_mu_);
  err_ << (o_.progress_bar ? "\r\x1b[K" : "") << "mirelune-cli: " << text << "\n";
  if (failures_.size() < 20) failures_.push_back(text);
}

// Why a card's text was not drawn as asked (a face file that cannot be used): said
// once a run; every card's report still names the faces that drew it.
void Run::Tell(const std::vector<std::string>& problems) {
  std::lock_guard<std::mutex> lock(report_mu_);
  for (const std::string& why : problems)
    if (std::find(told_.begin(), told_.end(), why) == told_.end()) {
      told_.push_back(why);
      err_ << (o_.progress_bar ? "\r\x1b[K" : "") << "mirelune-cli: " << why << "\n";
    }
}

// Makes and saves the row's card: its manifest line so far, or nothing when the
// row failed (and said so).
std::optional<json> Run::MakeCard(const ListRow& row, const WriteOptions& files, Fonts& fonts, CardMemory& memory) {
  const fs::path file = o_.out_dir / row.file;
  json line;
  line["row"] = row.index;
  line["line"] = row.line;
  line["status"] = "done";
  line["file"] = row.file;
  // The card made once; with an animation, its frames taken from its stages as it is made.
  std::optional<FrameRecorder> recorder;
  if (o_.animation) recorder.emplace(FramePlan{.width = o_.animation_width});
  auto made =
      std::make_unique<Card>(mirelune::MakeCard(row.card, recorder ? recorder->Watch() : CardWatch{}, fonts, memory));
  Tell(made->text.problems);
  Result<CardFile> encoded = o_.encode(row.card, *made, o_.format, memory.png_rows);
  memory.Keep(std::move(*made));  // the next card is painted in its rasters
  if (!encoded) {
    Fail(row, "the card could not be encoded: " + encoded.error().message);
    return std::nullopt;
  }
  if (recorder) {
    const Result<Bytes> moving = EncodeAnimation(recorder->Finish(), *o_.animation, &gif_quantiser_);
    const Result<> w = moving ? WriteFileSafely(o_.out_dir / row.animation_file, *moving, files) : Result<>(moving.error());
    if (!w) {
      Fail(row, "the animation: " + w.message);
      return std::nullopt;
    }
    line["animation"] = row.animation_file;
    line["animation_sha256"] = Sha256Hex(moving->data(), moving->size());
  }
  CardFile& card = *encoded;
  // Replaced whole when a killed run left it: its manifest line was never written.
  if (const Result<> w = WriteFileSafely(file, card.bytes, files); !w) {
    Fail(row, w.message);
    return std::nullopt;
  }
  line["sha256"] = Sha256Hex(card.bytes.data(), card.bytes.size());
  line["report"] = std::move(card.report);
  line["key"] = row.key;
  return line;
}

// Mails the card when the run mails, then writes the row's manifest line.
void Run::FinishRow(const ListRow& row, json line, MailSender* mail) {
  if (mail && !MailRow(row, o_.out_dir / row.file, *mail, &line))
    return Fail(row, line["mail"].get<std::string>(), line);
  writer_->Add(row.index, JsonLine(line));
  made_++;
}

// Journal first, then the message, then the journal again: a row whose last
// journal line says "sending" was perhaps received, perhaps not. It is sent again
// under the same Message-ID, which lets the receiving side drop a second copy: at
// least once, never lost. "sent" is synced the moment the server's 250 is in, so
// only a kill between the end of the message's data and that line leaves a copy.
bool Run::MailRow(const ListRow& row, const fs::path& file, MailSender& mail, json* line) {
  const auto it = mail_.find(row.index);
  const bool same = it != mail_.end() && it->second.key == row.key;
  if (same && it->second.state == "sent") {
    (*line)["mail"] = "sent";
    return true;
  }
  const std::string message_key = same ? it->second.message_key : MessageKey(row, o_.mail_server.sender);
  if (same && it->second.state == "sending") {
    std::lock_guard<std::mutex> lock(report_mu_);
    err_ << (o_.progress_bar ? "\r\x1b[K" : "") << "mirelune-cli: row " << row.index + 1
         << ": the last attempt ended without an answer; sending again with the same Message-ID\n";
  }
  json entry;
  entry["row"] = row.index;
  entry["key"] = row.key;
  entry["message_key"] = message_key;
  entry["to"] = row.email;
  entry["state"] = "sending";
  rate_.Wait();
  // Not synced: it matters after a kill, which leaves it in the kernel's cache; a
  // crash of the machine that loses it only loses the remark above.
  if (const Result<> logged = journal_.Write(JsonLine(entry)); !logged) {
    (*line)["mail"] = logged.message + "; nothing was sent";
    return false;
  }
  MailItem item;
  item.to = row.email;
  item.subject = "greetings";
  item.body = row.message;
  item.attachments.push_back(o_.attach_animation ? o_.out_dir / row.animation_file : file);
  const Result<> r = mail.Send(item, message_key);
  entry["state"] = r ? "sent" : "failed";
  if (!r) entry["reason"] = r.message;
  if (const Result<> logged = r ? journal_.Append(JsonLine(entry)) : journal_.Write(JsonLine(entry)); !logged) {
    (*line)["mail"] = r ? "sent, but " + logged.message : r.message;
    return false;
  }
  (*line)["mail"] = r ? "sent" : r.message;
  return r.ok;
}

// Whatever a row throws (out of memory, a library's error) fails that row alone;
// the other rows go on.
template <typename F>
void Run::Guarded(const ListRow& row, F&& step) noexcept {
  try {
    step();
  } catch (const std::exception& e) {
    FailCaught(row, e.what());
  }
}

// Each worker makes a card, mails it and writes its line, one row after the other,
// over one connection to the mail server kept for all its messages.
void Run::Work() {
  ListRow row;
  const std::unique_ptr<MailSender> mail = o_.mail ? o_.mail_server.connect() : nullptr;
  std::set<std::pair<dev_t, ino_t>> swept;  // the output folder is cleared once a worker
  WriteOptions files;
  files.swept = &swept;
  Fonts fonts(FontFolder());  // this worker's alone, open from card to card
  CardMemory memory;          // and so is the memory its cards are painted in
  while (queue_->Pop(&row))
    Guarded(row, [&] {
      if (std::optional<json> line = MakeCard(row, files, fonts, memory)) FinishRow(row, std::move(*line), mail.get());
    });
}

void Run::FailCaught(const ListRow& row, const char* what) noexcept {
  try {
    Fail(row, std::string("the card could not be made: ") + what);
  } catch (const std::exception&) {
    failed_++;  // not even the message could be made; the summary still counts the row
  }
}

void Run::Progress(bool final) {
  const long now_done = made_.load(), failed = failed_.load();
  const long finished = done_before_ + now_done + failed;
  const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
  const double rate = seconds > 0 ? now_done / seconds : 0;
  const long left = total_ - finished;
  const std::string eta = rate > 0 ? Clock2(left / rate) : "?";
  std::ostringstream line;
  line << finished << "/" << total_ << " rows, " << std::fixed << std::setprecision(1) << rate << " cards/s, "
       << (final ? "took " + Clock2(seconds) + " on " + std::to_string(threads_) + (threads_ == 1 ? " thread" : " threads")
                 : eta + " left");
  std::lock_guard<std::mutex> lock(report_mu_);
  if (o_.progress_bar) {
    constexpr int kWidth = 30;
    const int filled = total_ > 0 ? static_cast<int>(kWidth * finished / total_) : kWidth;
    err_ << "\r\x1b[K[" << std::string(filled, '#') << std::string(kWidth - filled, '.') << "] " << line.str()
         << (final ? "\n" : "") << std::flush;
  } else {
    err_ << "batch: " << line.str() << "\n" << std::flush;
  }
}

// One line per row, in row order (the last line of a row wins), through the
// file writer: a crash leaves the old manifest or the new one, never a mix.
Result<> Run::Compact() {
  struct Entry {
    long row;
    std::streamoff at, size;
  };
  std::vector<Entry> entries;
  MIRELUNE_TRY(ForEachLine(manifest_path_, [&](const json& j, std::streamoff at, std::streamoff size) {
    entries.push_back({j["row"].get<long>(), at, size});
  }));
  bool ordered = true;
  for (std::size_t k = 1; k < entries.size(); ++k) ordered = ordered && entries[k - 1].row < entries[k].row;
  if (ordered) return {};
  std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.row < b.row; });
  const Result<OpenFile> in = OpenToRead(manifest_path_);
  if (!in) return in.error();
  std::string text;
  for (std::size_t k = 0; k < entries.size(); ++k) {
    if (k + 1 < entries.size() && entries[k + 1].row == entries[k].row) continue;
    const std::size_t end = text.size();
    text.resize(end + static_cast<std::size_t>(entries[k].size));
    if (::pread(in->fd.get(), text.data() + end, static_cast<std::size_t>(entries[k].size), entries[k].at) !=
        static_cast<ssize_t>(entries[k].size)) {
      return Error{"cannot read back " + manifest_path_.string()};
    }
  }
  return WriteFileSafely(manifest_path_, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

int Run::Go() {
  ListReader reader;
  if (const int status = Start(&reader); status != 0) return status;
  MakeRows(reader);
  return Summary();
}

int Run::Start(ListReader* reader) {
  // 2: the list or the settings are at fault; 1: the output folder is.
  auto bad = [&](const std::string& why, int status = 2) {
    err_ << "mirelune-cli: " << why << "\n";
    return status;
  };
  if (const Result<> faces = PrepareFaces(FontFolder()); !faces) return bad(faces.message, 1);
  const char* const animation_ext[] = {"gif", "webp", "png"};
  const ListOptions list_options{o_.mail, ExtensionOf(o_.format), o_.year, o_.scale,
                                 o_.animation ? animation_ext[static_cast<int>(*o_.animation)] : "",
                                 o_.animation_width, o_.attach_animation};
  ListReader counter;
  if (const Result<> opened = counter.Open(o_.list, list_options); !opened) return bad(opened.message);
  if (const Result<> made = MakeFolder(o_.out_dir); !made) return bad(made.message, 1);
  manifest_path_ = o_.out_dir / ("manifest" + Suffix() + ".jsonl");
  journal_path_ = o_.out_dir / "mail-journal.jsonl";  // one for the list, whatever the shards
  if (const Result<> locked = Lock(); !locked) return bad(locked.message, 1);
  // Opened (and checked) before it is read: a FIFO or a link planted under its
  // name is refused, not read.
  if (const Result<> opened = manifest_.Open(manifest_path_); !opened) return bad(opened.message, 1);
  CsvReader records;  // the list's records, the header among them: at least its rows
  if (records.Open(o_.list)) for (CsvRecord rec; records.Next(&rec);) ++list_rows_;
  if (const Result<> loaded = LoadManifest(); !loaded) return bad(loaded.message, 1);
  writer_ = std::make_unique<ManifestWriter>(manifest_, o_.out_dir, [this](long row, const std::string& why) {
    if (row < 0) return;
    made_--;
    failed_++;
    const std::string text = "row " + std::to_string(row + 1) + ": " + why + "; it will be made again";
    std::lock_guard<std::mutex> lock(report_mu_);
    err_ << "mirelune-cli: " << text << "\n";
    if (failures_.size() < 20) failures_.push_back(text);
  });
  ListRow row;
  list_rows_ = 0;  // now exactly
  while (counter.Next(&row)) {
    list_rows_ = row.index + 1;
    if (!Mine(row)) continue;
    ++total_;
    if (row.error.empty()) ++(Done(row) ? done_before_ : to_make_);
  }
  if (o_.mail) {
    if (const Result<> opened = journal_.Open(journal_path_); !opened) return bad(opened.message, 1);
    if (const Result<> loaded = LoadJournal(); !loaded) return bad(loaded.message, 1);
  }
  // The second pass; the file may have gone meanwhile.
  if (const Result<> opened = reader->Open(o_.list, list_options); !opened) return bad(opened.message);
  return 0;
}

// Feeds the rows to the worker threads and waits for them and the manifest.
void Run::MakeRows(ListReader& reader) {
  ListRow row;
  start_ = Clock::now();
  threads_ = BatchThreads(o_.jobs, to_make_, std::thread::hardware_concurrency());
  queue_ = std::make_unique<RowQueue>(static_cast<std::size_t>(threads_) * 2);
  std::vector<std::thread> workers;
  std::thread progress;
  std::mutex stop_mu;
  std::condition_variable stop_cv;
  bool stop = false;
  std::string stopped;
  {
    // Every thread is joined on every way out, an exception included: one left
    // running would end the process.
    const auto join_all = [&]() noexcept {
      queue_->Close();
      for (auto& w : workers) w.join();
      {
        std::lock_guard<std::mutex> lock(stop_mu);
        stop = true;
      }
      stop_cv.notify_all();
      if (progress.joinable()) progress.join();
    };
    const struct Joined {
      const decltype(join_all)& join;
      ~Joined() { join(); }
    } joined{join_all};
    for (int k = 0; k < threads_; ++k) {
      try {
        workers.emplace_back([this] { Work(); });
      } catch (const std::system_error&) {  // the system's thread limit: go on with those running
        if (workers.empty()) throw;
        break;
      }
    }
    threads_ = static_cast<int>(workers.size());
    progress = std::thread([&] {
      const auto every = std::chrono::duration<double>(o_.progress_bar ? 0.25 : o_.progress_every_s);
      std::unique_lock<std::mutex> lock(stop_mu);
      while (!stop_cv.wait_for(lock, every, [&] { return stop; })) {
        try {
          Progress(false);
        } catch (const std::exception&) {  // a progress line is not worth the run
        }
      }
    });
    try {
      while (reader.Next(&row)) {
        if (!Mine(row) || (row.error.empty() && Done(row))) continue;
        if (row.error.empty())
          queue_->Push(std::move(row));
        else
          Fail(row, row.error);
      }
    } catch (const std::exception& e) {
      stopped = "reading " + o_.list.string() + " stopped after row " + std::to_string(row.index + 1) + ": " + e.what();
    }
  }
  writer_.reset();  // every line written and synced
  Progress(true);
  if (!stopped.empty()) {
    err_ << "mirelune-cli: " << stopped << "\n";
    failed_++;
  }
}

// Puts the manifest in row order and says what was done; the exit status.
int Run::Summary() {
  // Unordered, the manifest is still complete: every row counts as it did.
  if (const Result<> compacted = Compact(); !compacted) err_ << "mirelune-cli: " << compacted.message << "\n";
  const long done = done_before_ + made_.load();
  out_ << "batch: " << done << " of " << total_ << " rows done (" << made_.load() << " made now, " << done_before_
       << " before)";
  const long failed_count = failed_.load();
  if (failed_count == 0) {
    out_ << "\n";
    return 0;
  }
  out_ << "; " << failed_count << " failed:\n";
  for (const auto& f : failures_) out_ << "  " << f << "\n";
  if (failed_count > static_cast<long>(failures_.size()))
    out_ << "  and " << failed_count - static_cast<long>(failures_.size()) << " more (see "
         << manifest_path_.string() << ")\n";
  return 1;
}

}  // namespace

int BatchThreads(int jobs, long rows, unsigned cores) {
  const long most = std::min<long>(kMaxThreadsPerCore * static_cast<long>(std::max(cores, 1u)), rows);
  return static_cast<int>(std::max(1L, std::min<long>(jobs, most)));
}

const char* ExtensionOf(ImageFormat format) {
  switch (format) {
    case ImageFormat::kBmp:
      return "bmp";
    case ImageFormat::kJpeg:
      return "jpg";
    case ImageFormat::kPng:
      break;
  }
  return "png";
}

int RunBatchList(const BatchOptions& options, std::ostream& out, std::ostream& err) {
  return Run(options, out, err).Go();
}

}  // namespace mirelune
