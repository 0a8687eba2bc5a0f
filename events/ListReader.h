// The event operations' view of the store: reads of the Redis lists ferryd
// fills (a page, a walk slice by slice, a length, one element, the list keys),
// each after the wait for "lock:ferryd". Production reads through hiredis
// (events/RedisListReader.h); the unit tests read tables held in memory.
#ifndef EVENTS_LISTREADER_H_
#define EVENTS_LISTREADER_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct redisReply;

namespace events {

// One element of a list reply: its stored bytes, valid as long as the reply.
// `text` is null for an element that is no string.
struct ListElement {
  const char* text;
  size_t length;
};

// What the store answered to one read, owned or only looked at. Reading an
// element costs no copy: it points into the reply.
class ListReply {
 public:
  enum class Kind {
    kNone,    // no reply came (the connection failed or timed out)
    kList,    // an array: the elements of a slice, or key names
    kNumber,  // an integer: a length
    kText,    // a bulk string: one element
    kNil,     // no such element
    kOther,   // anything else: an error reply (a key of another type), a status
  };

  // Takes `reply` (may be null) and frees it with the ListReply.
  static ListReply own(redisReply* reply);
  // Looks at `reply` (may be null), which its owner keeps alive meanwhile.
  static ListReply view(const redisReply* reply);

  Kind kind() const { return kind_; }
  // hiredis's number of the reply type, for log lines; 0 without a reply.
  int typeNumber() const;
  // Elements of a kList reply; 0 for any other kind.
  size_t size() const;
  ListElement operator[](size_t i) const;
  // The integer of a kNumber reply.
  long long number() const;
  // The bytes of a kText reply or the text of a kOther one (an error's message).
  ListElement text() const;

 private:
  using Owned = std::unique_ptr<redisReply, void (*)(redisReply*)>;
  ListReply(Owned owned, const redisReply* reply);

  Owned owned_;
  const redisReply* reply_;  // null exactly when kind_ is kNone
  Kind kind_;
};

// The reads the event operations make. Every read waits first while the
// companion daemon holds "lock:ferryd", and throws what that wait throws:
// Unavailable once the wait's limit has passed, std::runtime_error when no
// connection can be made. Replies are returned as they came: the operations
// check kind and size themselves (expect() below).
class ListReader {
 public:
  // Given each slice of a walk; returns false to end the walk.
  using Visit = std::function<bool(const ListReply& slice)>;
  // Tells the visitor to drop what it gathered: the walk starts again.
  using Restart = std::function<void()>;

  virtual ~ListReader() = default;

  // "LRANGE key start stop" with both bounds as given (the store reads them;
  // a text that is no integer gets an error reply). With `length`, also
  // "LLEN key" in the same round trip, so that it counts the list the page was
  // cut from: its integer, or 0 when it gave none (a key of another type).
  virtual ListReply page(const std::string& key, const std::string& start, const std::string& stop,
                         int64_t* length = nullptr) const = 0;

  // Elements `first` to `last` (-1: to the end) of the list `key`, in slices,
  // each after its own lock wait, as list_slices::walk describes: the walk
  // ends after a slice that is missing, no list or short, or when `visit`
  // returns false. With `restart`, a change of the list's length between two
  // slices calls it and starts the walk again, once.
  virtual void walk(const std::string& key, long long first, long long last, const Visit& visit,
                    const Restart& restart = nullptr) const = 0;

  // "LLEN key".
  virtual ListReply length(const std::string& key) const = 0;
  // "LINDEX key index".
  virtual ListReply element(const std::string& key, long long index) const = 0;
  // "KEYS *": the names of every key.
  virtual ListReply keys() const = 0;
  // Whether "TYPE key" answers "list".
  virtual bool holdsList(const std::string& key) const = 0;
};

// The log lines and exception texts of a read whose reply is not of the kind
// an operation needs. In a line, "{key}" stands for the key read and "{type}"
// for the reply's type number; a null line logs nothing.
struct ReadFailure {
  const char* noReplyLine;
  const char* noReplyText;
  const char* wrongKindLine;
  const char* wrongKindText;
};

// Returns `reply` when it is of kind `kind`. Otherwise logs the matching line
// of `failure` at alert priority and throws EventsException with its text.
const ListReply& expect(const ListReply& reply, ListReply::Kind kind, const std::string& key,
                        const ReadFailure& failure);

}  // namespace events

#endif  // EVENTS_LISTREADER_H_
