// One request's way back to its client, as the endpoint (http/Endpoint.h)
// hands it to the server: a reply given now, on the HTTP thread, or a
// promise of one that another thread keeps later while the connection waits
// without holding the HTTP thread.
#ifndef HTTP_EXCHANGE_H_
#define HTTP_EXCHANGE_H_

#include <functional>

#include "http/Reply.h"

namespace http {

// Sends the reply of a request whose work runs elsewhere. Call it once, from
// any thread; a client that has gone by then makes it a no-op.
using Answer = std::function<void(Reply)>;

class Exchange {
 public:
  virtual ~Exchange() = default;

  // Sends `reply` as the request's answer. Call at most once, on the HTTP
  // thread that handed over the exchange, before it returns.
  virtual void reply(Reply reply) = 0;

  // Parks the connection until the returned answer is called: the HTTP
  // thread goes on with other connections. Call at most once, instead of
  // reply(), on the HTTP thread that handed over the exchange.
  virtual Answer defer() = 0;
};

}  // namespace http

#endif  // HTTP_EXCHANGE_H_
