// A parse of one file kept in memory while the file's content is unchanged:
// the rules file and the indicator store are read by every query but change
// only between edits.
#ifndef COMMON_FILECACHE_H_
#define COMMON_FILECACHE_H_

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>

namespace file_cache {

// Memory for a file's bytes. A large block gets a mapping of its own that
// the kernel is asked to back with huge pages: filling it then takes a few
// page faults instead of one per 4 KiB.
class TextBuffer {
 public:
  TextBuffer() = default;
  // Room for `size` bytes, not initialised. Throws std::bad_alloc.
  explicit TextBuffer(size_t size);
  ~TextBuffer();
  TextBuffer(TextBuffer&& other) noexcept;
  TextBuffer& operator=(TextBuffer&& other) noexcept;

  char* data() const { return data_; }
  // Room in bytes when the buffer has a mapping of its own, else 0.
  size_t mapped() const { return mapped_; }

  // While one lives, a mapped buffer that the same thread lets go of is moved
  // into `spare` (when it is empty) instead of being unmapped: a rebuild lets
  // go of the old parse and reads the file again into the same pages, which
  // are then neither faulted in nor cleared again.
  class Reuse {
   public:
    explicit Reuse(TextBuffer& spare);
    ~Reuse();
    Reuse(const Reuse&) = delete;
    Reuse& operator=(const Reuse&) = delete;

   private:
    TextBuffer* previous_;
  };

 private:
  void release();

  char* data_ = nullptr;
  size_t mapped_ = 0;  // length of the mapping; 0 when data_ is from new[]
};

// The bytes of one read of a file, followed by kPadding zero bytes that
// parsers reading ahead (simdjson) may touch. Moving it keeps the bytes where
// they are, so views into them stay valid.
class FileText {
 public:
  static constexpr size_t kPadding = 64;

  FileText() = default;
  // A copy of `text`, for parsing text that is not read from a file.
  static FileText copyOf(std::string_view text);
  // Takes `bytes`, which holds `size` bytes and the zeroed padding.
  FileText(TextBuffer bytes, size_t size) : bytes_(std::move(bytes)), size_(size) {}

  const char* data() const { return bytes_.data(); }
  size_t size() const { return size_; }
  std::string_view view() const { return std::string_view(bytes_.data(), size_); }

 private:
  TextBuffer bytes_;
  size_t size_ = 0;  // the padding follows
};

// The file cannot be opened (`error` is the errno), or fails while read.
class OpenError : public std::runtime_error {
 public:
  OpenError(const std::string& path, int error);
  int error;
};
class ReadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What identifies a file's content without reading it: a change of content
// through rename or write changes one of these (but see FileCache on
// timestamps too recent to trust).
struct Stamp {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{};
  timespec changed{};
  bool operator==(const Stamp& other) const;
};

// Counters of one cache, for a metrics reader.
struct CacheStatistics {
  std::atomic<uint64_t> hits{0};           // served from memory without reading
  std::atomic<uint64_t> contentChecks{0};  // re-read to vouch for a recent file, then served
  std::atomic<uint64_t> rebuilds{0};       // read and parsed afresh
};

// How long after a file's last timestamp a later write could still leave the
// timestamp unchanged: the coarsest common file system granularity (2 s), and
// the kernel's timestamp clock lags the wall clock by a tick.
inline constexpr std::chrono::nanoseconds kTimestampDoubt = std::chrono::seconds(2);

// Type-erased core of FileCache; see there.
class FileCacheCore {
 public:
  using Build = std::function<std::shared_ptr<const void>(FileText text)>;
  // The bytes a parse was built from.
  using Source = std::string_view (*)(const void* parse);
  FileCacheCore(Build build, Source source, std::chrono::nanoseconds doubt)
      : build_(std::move(build)), source_(source), doubt_(doubt) {}
  std::shared_ptr<const void> get(const std::string& path);
  const CacheStatistics& statistics() const { return statistics_; }

 private:
  using SteadyTime = std::chrono::steady_clock::time_point;
  struct Slot {
    std::string path;
    Stamp stamp;
    std::shared_ptr<const void> parse;  // null when the slot is empty
    // The file's timestamps were too recent when it was last read to vouch
    // for its content: a write in the same timestamp tick keeps the stamp.
    // Such a slot is served only to requests that arrived before checkedAt;
    // later ones re-read the file and compare it with the parse's source.
    bool recent = false;
    SteadyTime checkedAt{};  // when the read that last vouched for it began
  };

  // The slot's parse when it may serve a request for `path` that arrived at
  // `arrival` and found `stamp`; null otherwise.
  std::shared_ptr<const void> usable(const std::string& path, const Stamp& stamp,
                                     SteadyTime arrival) const;
  // Lets go of the slot's parse (readers holding it keep it alive). With
  // `spare`, a mapped buffer of the parse freed here is kept there for reuse.
  void drop(TextBuffer* spare = nullptr);

  const Build build_;
  const Source source_;
  const std::chrono::nanoseconds doubt_;
  CacheStatistics statistics_;
  std::mutex buildMutex_;         // one reader of the file at a time
  mutable std::mutex slotMutex_;  // guards slot_; held only to look or publish
  Slot slot_;
};

// The parse of the file at `path` as its content is now. Holds one parse:
// asking for another path lets go of the previous one, and so does a file
// that can no longer be found.
//
// Reuse: a parse is served while the file's Stamp is unchanged. A file whose
// timestamps lie within `doubt` of the read may be rewritten in place without
// changing its stamp, as git's racily clean index entries: its content is
// then read again and compared byte for byte on each later request, until it
// is old enough to be trusted.
//
// Concurrency: readers get a complete parse, old or new, never one being
// built; requests that find the parse stale build it once, the others wait
// and take it. A request is never served a parse read before it arrived
// unless the stamp vouches for it.
//
// `Parse` is constructed from the FileText and may throw; get() then throws
// that. It keeps the text and returns its bytes from `source()`. get()
// throws OpenError and ReadError.
template <typename Parse>
class FileCache {
 public:
  explicit FileCache(std::chrono::nanoseconds doubt = kTimestampDoubt)
      : core_(
            [](FileText text) -> std::shared_ptr<const void> {
              return std::make_shared<const Parse>(std::move(text));
            },
            [](const void* parse) { return static_cast<const Parse*>(parse)->source(); }, doubt) {}
  std::shared_ptr<const Parse> get(const std::string& path) {
    return std::static_pointer_cast<const Parse>(core_.get(path));
  }
  const CacheStatistics& statistics() const { return core_.statistics(); }

 private:
  FileCacheCore core_;
};

}  // namespace file_cache

#endif  // COMMON_FILECACHE_H_
