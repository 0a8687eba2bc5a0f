// Reading a whole file with its stamp, and the one-slot cache of its parse.
#include "common/FileCache.h"

#include <fcntl.h>
#include <malloc.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

namespace file_cache {

namespace {

constexpr int kReadAttempts = 3;

// Buffers from this size on are mapped on their own, in huge pages (2 MiB
// on x86-64) when the kernel grants them.
constexpr size_t kHugePage = size_t{2} << 20;
constexpr size_t kMappedFrom = kHugePage;

int64_t nanoseconds(const timespec& t) {
  return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

Stamp stampOf(const struct stat& info) {
  return Stamp{info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
}

// True when a write after `readStartNs` (wall clock) could leave `stamp` as
// it is: its timestamps lie within `doubt` of that moment.
bool tooRecent(const Stamp& stamp, int64_t readStartNs, std::chrono::nanoseconds doubt) {
  const int64_t latest = std::max(nanoseconds(stamp.modified), nanoseconds(stamp.changed));
  return latest + doubt.count() > readStartNs;
}

int64_t wallClockNs() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return nanoseconds(now);
}

// Closes the descriptor on every path.
struct Descriptor {
  explicit Descriptor(int fd) : fd(fd) {}
  ~Descriptor() {
    if (fd >= 0) close(fd);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int fd;
};

// One read of the whole file: its bytes and its stamp before and after.
struct Read {
  FileText text;
  Stamp stamp;
  bool steady = false;  // the stamp did not change while the bytes were read
};

// Room for `size` bytes: `spare` when it is mapped and not much larger.
TextBuffer bufferFor(size_t size, TextBuffer& spare) {
  if (spare.mapped() >= size && spare.mapped() / 2 <= size) return std::move(spare);
  return TextBuffer(size);
}

// The buffer that TextBuffer::Reuse keeps freed mappings in, on this thread.
thread_local TextBuffer* tSpare = nullptr;

Read readOnce(const std::string& path, TextBuffer& spare) {
  const Descriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.fd < 0) throw OpenError(path, errno);
  struct stat before {};
  if (fstat(file.fd, &before) != 0)
    throw ReadError("Cannot read " + path + ": " + std::strerror(errno));
  size_t capacity = static_cast<size_t>(before.st_size) + 1;  // room to see the end
  TextBuffer bytes = bufferFor(capacity + FileText::kPadding, spare);
  size_t size = 0;
  for (;;) {
    if (size == capacity) {  // the file grew while read
      TextBuffer larger(2 * capacity + FileText::kPadding);
      std::memcpy(larger.data(), bytes.data(), size);
      bytes = std::move(larger);
      capacity *= 2;
    }
    const ssize_t got = ::read(file.fd, bytes.data() + size, capacity - size);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw ReadError("Cannot read " + path + ": " + std::strerror(errno));
    if (got == 0) break;
    size += static_cast<size_t>(got);
  }
  std::memset(bytes.data() + size, 0, FileText::kPadding);
  struct stat after {};
  if (fstat(file.fd, &after) != 0)
    throw ReadError("Cannot read " + path + ": " + std::strerror(errno));
  Read read{FileText(std::move(bytes), size), stampOf(before), false};
  read.steady = read.stamp == stampOf(after) && static_cast<off_t>(size) == before.st_size;
  return read;
}

}  // namespace

TextBuffer::TextBuffer(size_t size) {
  if (size < kMappedFrom) {
    data_ = new char[size];
    return;
  }
  // Mapped with room to start on a huge page boundary; the rest is returned.
  const size_t length = (size + kHugePage - 1) / kHugePage * kHugePage;
  void* mapping =
      mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapping == MAP_FAILED) throw std::bad_alloc();
  char* const start = static_cast<char*>(mapping);
  char* const aligned = reinterpret_cast<char*>(
      (reinterpret_cast<uintptr_t>(start) + kHugePage - 1) / kHugePage * kHugePage);
  if (aligned > start) munmap(start, static_cast<size_t>(aligned - start));
  munmap(aligned + length, static_cast<size_t>(start + kHugePage - aligned));
  madvise(aligned, length, MADV_HUGEPAGE);  // advice only: 4 KiB pages when refused
  data_ = aligned;
  mapped_ = length;
}

TextBuffer::~TextBuffer() { release(); }

TextBuffer::TextBuffer(TextBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), mapped_(std::exchange(other.mapped_, 0)) {}

TextBuffer& TextBuffer::operator=(TextBuffer&& other) noexcept {
  if (this != &other) {
    release();
    data_ = std::exchange(other.data_, nullptr);
    mapped_ = std::exchange(other.mapped_, 0);
  }
  return *this;
}

TextBuffer::Reuse::Reuse(TextBuffer& spare) : previous_(std::exchange(tSpare, &spare)) {}
TextBuffer::Reuse::~Reuse() { tSpare = previous_; }

void TextBuffer::release() {
  if (mapped_ != 0 && tSpare != nullptr && tSpare != this && tSpare->data_ == nullptr) {
    tSpare->data_ = std::exchange(data_, nullptr);
    tSpare->mapped_ = std::exchange(mapped_, 0);
    return;
  }
  if (mapped_ != 0) {
    munmap(data_, mapped_);
  } else {
    delete[] data_;
  }
  data_ = nullptr;
  mapped_ = 0;
}

FileText FileText::copyOf(std::string_view text) {
  TextBuffer bytes(text.size() + kPadding);
  std::memcpy(bytes.data(), text.data(), text.size());
  std::memset(bytes.data() + text.size(), 0, kPadding);
  return FileText(std::move(bytes), text.size());
}

OpenError::OpenError(const std::string& path, int error)
    : std::runtime_error("Cannot open " + path + ": " + std::strerror(error)), error(error) {}

bool Stamp::operator==(const Stamp& other) const {
  return device == other.device && inode == other.inode && size == other.size &&
         nanoseconds(modified) == nanoseconds(other.modified) &&
         nanoseconds(changed) == nanoseconds(other.changed);
}

std::shared_ptr<const void> FileCacheCore::usable(const std::string& path, const Stamp& stamp,
                                                  SteadyTime arrival) const {
  const std::lock_guard<std::mutex> lock(slotMutex_);
  const bool fresh = slot_.parse && slot_.path == path && slot_.stamp == stamp &&
                     (!slot_.recent || slot_.checkedAt >= arrival);
  return fresh ? slot_.parse : nullptr;
}

void FileCacheCore::drop(TextBuffer* spare) {
  std::shared_ptr<const void> old;  // released outside the lock
  {
    const std::lock_guard<std::mutex> lock(slotMutex_);
    old = std::move(slot_.parse);
  }
  if (spare == nullptr) return;
  const TextBuffer::Reuse reuse(*spare);
  old.reset();
}

std::shared_ptr<const void> FileCacheCore::get(const std::string& path) {
  const SteadyTime arrival = std::chrono::steady_clock::now();
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    const int error = errno;
    drop();  // the configuration names a file that is gone
    throw OpenError(path, error);
  }
  if (std::shared_ptr<const void> parse = usable(path, stampOf(info), arrival)) {
    ++statistics_.hits;
    return parse;
  }

  const std::lock_guard<std::mutex> building(buildMutex_);
  // Another request may have read the file since this one arrived.
  if (std::shared_ptr<const void> parse = usable(path, stampOf(info), arrival)) {
    ++statistics_.hits;
    return parse;
  }

  // A parse of another path or stamp cannot be vouched for by this read:
  // let go of it first and read into its memory.
  TextBuffer spare;
  bool other = false;
  {
    const std::lock_guard<std::mutex> lock(slotMutex_);
    other = slot_.parse && (slot_.path != path || !(slot_.stamp == stampOf(info)));
  }
  if (other) drop(&spare);

  const SteadyTime readStart = std::chrono::steady_clock::now();
  const int64_t readStartNs = wallClockNs();
  Read read = readOnce(path, spare);
  for (int attempt = 1; !read.steady && attempt < kReadAttempts; ++attempt)
    read = readOnce(path, spare);
  const bool recent = !read.steady || tooRecent(read.stamp, readStartNs, doubt_);

  std::shared_ptr<const void> current;  // the slot's parse, when this read may vouch for it
  {
    const std::lock_guard<std::mutex> lock(slotMutex_);
    if (slot_.path == path && slot_.stamp == read.stamp && slot_.recent) current = slot_.parse;
  }
  if (current && source_(current.get()) == read.text.view()) {
    const std::lock_guard<std::mutex> lock(slotMutex_);
    if (slot_.parse == current) {
      slot_.recent = recent;
      slot_.checkedAt = readStart;
    }
    ++statistics_.contentChecks;
    return current;
  }
  drop();  // the old parse goes before the new one is built
  std::shared_ptr<const void> parse = build_(std::move(read.text));
  ++statistics_.rebuilds;
  Slot fresh{path, read.stamp, parse, recent, readStart};
  {
    const std::lock_guard<std::mutex> lock(slotMutex_);
    slot_ = std::move(fresh);
  }
  // The old parse and the parser's scratch memory are free now; without this
  // the allocator's per-thread arenas keep them, many times the file's size
  // after a few rebuilds on different threads.
  malloc_trim(0);
  return parse;
}

}  // namespace file_cache
