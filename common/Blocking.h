// Which threads may wait on something slow. The HTTP threads must not: a
// data operation that would wait there (for the companion daemon's lock, say)
// throws WouldBlock instead, and the handler frame runs the request again on
// a thread that may wait. Nothing has changed when it is thrown.
#ifndef COMMON_BLOCKING_H_
#define COMMON_BLOCKING_H_

namespace blocking {

// Thrown where an operation would wait on a thread that must not. Not a
// std::exception on purpose: the operations' own error handling (which turns
// std::exception into their failure texts) lets it pass to the frame.
struct WouldBlock {};

// Forbids waiting on the calling thread for the scope's life.
class Forbidden {
 public:
  Forbidden();
  ~Forbidden();
  Forbidden(const Forbidden&) = delete;
  Forbidden& operator=(const Forbidden&) = delete;

 private:
  bool previous_;
};

// Throws WouldBlock when the calling thread may not wait.
void checkAllowed();

}  // namespace blocking

#endif  // COMMON_BLOCKING_H_
