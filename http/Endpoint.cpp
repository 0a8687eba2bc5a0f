// The endpoint on the HTTP library: one state per request, from the first
// line to the reply having been sent.
#include "http/Endpoint.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <list>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <thread>
#include <utility>

#include "http/Reply.h"
#include "http/Status.h"

namespace http {

namespace {

std::atomic<size_t> g_inFlight{0};
std::atomic<size_t> g_heldBytes{0};

// Bytes asked of a stream at a time.
constexpr size_t kStreamBlockBytes = 16 * 1024;
// Body bytes read past the bound before the connection is closed unanswered:
// a client that sends a body without saying its length gets its 413 only
// after the end of the body, which must come soon.
constexpr size_t kDrainedBytesLimit = 1024 * 1024;
// Seconds a client is asked to wait before it tries a refused request again.
constexpr int kRetryAfterSeconds = 5;

constexpr char kTooLarge[] = "Request larger than 262144 bytes";

// A reply that waits for its work: filled from another thread, read by the
// HTTP thread once the connection is resumed.
struct Pending {
  MHD_Connection* connection;
  std::mutex mutex;
  std::optional<Reply> reply;
};

// One request, from its first line until the library is done with it.
struct RequestState {
  std::string target;  // as the request line sent it, query included
  enum class Phase { kHeaders, kBody, kWaiting, kAnswered } phase = Phase::kHeaders;
  std::string body;
  bool http10 = false;  // the request spoke HTTP/1.0: so does its reply
  size_t drained = 0;   // body bytes dropped past the bound
  bool tooLarge = false;
  bool counted = true;  // in g_inFlight until the library is done with it
  std::shared_ptr<Pending> pending;
};

// Where a stream's connection sleeps while its stream has nothing to send.
struct StreamWake {
  MHD_Connection* connection;
  int socket = -1;
  std::mutex mutex;
  bool alive = true;       // false once the reply has ended
  bool suspended = false;  // the connection waits for wake()
  bool woken = false;      // wake() came while the connection was not waiting
  bool gone = false;       // the client has closed its end

  void wake() {
    std::lock_guard<std::mutex> lock(mutex);
    if (!alive) return;
    if (suspended) {
      suspended = false;
      MHD_resume_connection(connection);
    } else {
      woken = true;
    }
  }
};

struct StreamState {
  std::shared_ptr<BodyStream> stream;
  std::shared_ptr<StreamWake> wake;
};

// The library does not look at a connection while it waits, so a client
// that closes a quiet stream would hold its place until the next keep-alive
// comment. This watcher looks at the sockets of the waiting streams twice a
// second and ends the streams whose clients have gone.
class GoneClients {
 public:
  void watch(const std::shared_ptr<StreamWake>& wake) {
    std::lock_guard<std::mutex> lock(mutex_);
    watched_.push_back(wake);
    if (!started_) {
      started_ = true;
      std::thread([this] { run(); }).detach();
    }
  }

 private:
  void run() {
    for (;;) {
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
      std::vector<std::shared_ptr<StreamWake>> streams;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        watched_.erase(
            std::remove_if(watched_.begin(), watched_.end(),
                           [](const std::weak_ptr<StreamWake>& w) { return w.expired(); }),
            watched_.end());
        for (const auto& weak : watched_) {
          if (std::shared_ptr<StreamWake> wake = weak.lock()) streams.push_back(std::move(wake));
        }
      }
      std::vector<pollfd> sockets;
      for (const auto& wake : streams) sockets.push_back({wake->socket, POLLRDHUP, 0});
      if (sockets.empty() || poll(sockets.data(), sockets.size(), 0) <= 0) continue;
      for (size_t i = 0; i < sockets.size(); ++i) {
        if ((sockets[i].revents & (POLLRDHUP | POLLHUP | POLLERR)) == 0) continue;
        {
          std::lock_guard<std::mutex> lock(streams[i]->mutex);
          streams[i]->gone = true;
        }
        streams[i]->wake();
      }
    }
  }

  std::mutex mutex_;
  std::vector<std::weak_ptr<StreamWake>> watched_;
  bool started_ = false;
};

GoneClients& goneClients() {
  static GoneClients* watcher = new GoneClients;  // lives as long as the process
  return *watcher;
}

ssize_t readStream(void* cls, uint64_t, char* buffer, size_t max) {
  auto* state = static_cast<StreamState*>(cls);
  for (;;) {
    const long got = state->stream->read(buffer, max);
    if (got == BodyStream::kEnd) return MHD_CONTENT_READER_END_OF_STREAM;
    if (got > 0) return static_cast<ssize_t>(got);
    std::lock_guard<std::mutex> lock(state->wake->mutex);
    if (state->wake->gone) return MHD_CONTENT_READER_END_WITH_ERROR;
    if (state->wake->woken) {
      state->wake->woken = false;
      continue;
    }
    state->wake->suspended = true;
    MHD_suspend_connection(state->wake->connection);
    return 0;
  }
}

void freeStream(void* cls) {
  auto* state = static_cast<StreamState*>(cls);
  {
    std::lock_guard<std::mutex> lock(state->wake->mutex);
    state->wake->alive = false;
  }
  delete state;
}

// A reply body the library sends from our own memory and hands back when done;
// it counts toward the held bytes with all the memory its text holds.
struct HeldBody {
  std::string text;
};

void freeBody(void* cls) {
  auto* held = static_cast<HeldBody*>(cls);
  g_heldBytes -= held->text.capacity();
  delete held;
}

MHD_Response* responseOf(Reply& reply, MHD_Connection* connection) {
  MHD_Response* response = nullptr;
  if (reply.stream) {
    auto* state = new StreamState{std::move(reply.stream), std::make_shared<StreamWake>()};
    state->wake->connection = connection;
    if (const MHD_ConnectionInfo* info =
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD)) {
      state->wake->socket = info->connect_fd;
      goneClients().watch(state->wake);
    }
    state->stream->onReady([wake = std::weak_ptr<StreamWake>(state->wake)] {
      if (const std::shared_ptr<StreamWake> alive = wake.lock()) alive->wake();
    });
    response = MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, kStreamBlockBytes, &readStream,
                                                 state, &freeStream);
    if (response == nullptr) freeStream(state);
  } else {
    auto* held = new HeldBody{std::move(reply.body)};
    g_heldBytes += held->text.capacity();
    response = MHD_create_response_from_buffer_with_free_callback_cls(
        held->text.size(), held->text.data(), &freeBody, held);
    if (response == nullptr) freeBody(held);
  }
  if (response == nullptr) return nullptr;
  // Content-Type first, then the further headers last added first, as the
  // front end has always seen them.
  if (reply.contentType) MHD_add_response_header(response, "Content-Type", reply.contentType->text);
  for (auto header = reply.headers.rbegin(); header != reply.headers.rend(); ++header) {
    MHD_add_response_header(response, header->first.c_str(), header->second.c_str());
  }
  return response;
}

// Exchanges of one request on the calling HTTP thread.
class ConnectionExchange : public Exchange {
 public:
  ConnectionExchange(MHD_Connection* connection, RequestState& state)
      : connection_(connection), state_(state) {}

  void reply(Reply reply) override { reply_ = std::move(reply); }

  Answer defer() override {
    auto pending = std::make_shared<Pending>();
    pending->connection = connection_;
    state_.pending = pending;
    MHD_suspend_connection(connection_);
    return [pending](Reply reply) {
      std::lock_guard<std::mutex> lock(pending->mutex);
      if (pending->reply) return;
      pending->reply = std::move(reply);
      MHD_resume_connection(pending->connection);
    };
  }

  std::optional<Reply>& given() { return reply_; }

 private:
  MHD_Connection* connection_;
  RequestState& state_;
  std::optional<Reply> reply_;
};

// Every header of the request, in order, duplicates kept.
MHD_Result collectHeader(void* cls, MHD_ValueKind, const char* key, const char* value) {
  static_cast<Request*>(cls)->headers.emplace_back(key, value == nullptr ? "" : value);
  return MHD_YES;
}

// The query's pairs as sent: "a=1&b" gives ("a", "1") and ("b", "").
void splitQuery(std::string_view query, std::vector<Pair>& to) {
  while (!query.empty()) {
    const size_t end = std::min(query.find('&'), query.size());
    const std::string_view pair = query.substr(0, end);
    if (!pair.empty()) {
      const size_t equals = pair.find('=');
      if (equals == std::string_view::npos) {
        to.emplace_back(std::string(pair), std::string());
      } else {
        to.emplace_back(std::string(pair.substr(0, equals)), std::string(pair.substr(equals + 1)));
      }
    }
    query.remove_prefix(std::min(end + 1, query.size()));
  }
}

std::string peerOf(MHD_Connection* connection) {
  const MHD_ConnectionInfo* info =
      MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
  if (info == nullptr || info->client_addr == nullptr) return "";
  char text[INET6_ADDRSTRLEN] = "";
  if (info->client_addr->sa_family == AF_INET) {
    // Dotted quads by hand: the C library's formatter shows in the
    // profile of a cheap request.
    const auto* bytes = reinterpret_cast<const unsigned char*>(
        &reinterpret_cast<const sockaddr_in*>(info->client_addr)->sin_addr);
    char* out = text;
    for (int i = 0; i < 4; ++i) {
      const unsigned byte = bytes[i];
      if (i > 0) *out++ = '.';
      if (byte >= 100) *out++ = static_cast<char>('0' + byte / 100);
      if (byte >= 10) *out++ = static_cast<char>('0' + byte / 10 % 10);
      *out++ = static_cast<char>('0' + byte % 10);
    }
    return std::string(text, static_cast<size_t>(out - text));
  }
  if (info->client_addr->sa_family == AF_INET6) {
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(info->client_addr)->sin6_addr, text,
              sizeof text);
  }
  return text;
}

Request requestOf(MHD_Connection* connection, const char* method, RequestState& state) {
  Request request;
  request.method = method;
  const std::string_view target = state.target;
  const size_t question = target.find('?');
  request.path = std::string(target.substr(0, question));
  if (question != std::string_view::npos) splitQuery(target.substr(question + 1), request.query);
  const int headers = MHD_get_connection_values(connection, MHD_HEADER_KIND, nullptr, nullptr);
  request.headers.reserve(static_cast<size_t>(std::max(headers, 0)));
  MHD_get_connection_values(connection, MHD_HEADER_KIND, &collectHeader, &request);
  request.body = std::move(state.body);
  request.peer = peerOf(connection);
  return request;
}

}  // namespace

struct Endpoint::Impl {
  EndpointOptions options;
  Dispatch dispatch;
  MHD_Daemon* daemon = nullptr;

  // Queues `reply` on `connection`, which then waits for its client at most
  // unreadReplySeconds.
  MHD_Result send(MHD_Connection* connection, RequestState& state, Reply reply) {
    state.phase = RequestState::Phase::kAnswered;
    const bool stream = static_cast<bool>(reply.stream);
    MHD_Response* response = responseOf(reply, connection);
    if (response == nullptr) return MHD_NO;
    if (state.http10) MHD_set_response_options(response, MHD_RF_HTTP_1_0_SERVER, MHD_RO_END);
    MHD_set_connection_option(connection, MHD_CONNECTION_OPTION_TIMEOUT,
                              options.unreadReplySeconds);
    const MHD_Result queued = MHD_queue_response(connection, codeOf(reply.code), response);
    MHD_destroy_response(response);
    if (stream && state.counted) {
      // A stream lasts as long as its client wants: it holds up no stop.
      state.counted = false;
      --g_inFlight;
    }
    return queued;
  }

  // A refusal that ends the connection: what follows on it is not read.
  MHD_Result refuse(MHD_Connection* connection, RequestState& state, Reply reply) {
    reply.headers.emplace(reply.headers.begin(), "Connection", "close");
    return send(connection, state, std::move(reply));
  }

  MHD_Result onRequest(MHD_Connection* connection, const char* method, const char* upload,
                       size_t* uploadSize, RequestState& state) {
    using Phase = RequestState::Phase;
    switch (state.phase) {
      case Phase::kHeaders: {
        state.phase = Phase::kBody;
        const char* length =
            MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "Content-Length");
        if (length != nullptr) {
          errno = 0;
          char* end = nullptr;
          const unsigned long long declared = std::strtoull(length, &end, 10);
          if (errno == ERANGE || declared > options.maxRequestBytes) {
            return refuse(connection, state, text(kTooLarge, Status::kPayloadTooLarge));
          }
        }
        return MHD_YES;
      }
      case Phase::kBody:
        if (*uploadSize > 0) {
          const size_t got = *uploadSize;
          *uploadSize = 0;
          if (!state.tooLarge &&
              state.target.size() + state.body.size() + got <= options.maxRequestBytes) {
            state.body.append(upload, got);
            return MHD_YES;
          }
          state.tooLarge = true;
          state.body = std::string();
          state.drained += got;
          return state.drained > kDrainedBytesLimit ? MHD_NO : MHD_YES;
        }
        if (state.tooLarge) {
          return refuse(connection, state, text(kTooLarge, Status::kPayloadTooLarge));
        }
        return answer(connection, method, state);
      case Phase::kWaiting: {
        std::optional<Reply> reply;
        {
          std::lock_guard<std::mutex> lock(state.pending->mutex);
          reply = std::move(state.pending->reply);
        }
        if (!reply) return MHD_YES;  // woken before its answer: wait on
        return send(connection, state, std::move(*reply));
      }
      case Phase::kAnswered: return MHD_YES;
    }
    return MHD_NO;
  }

  MHD_Result answer(MHD_Connection* connection, const char* method, RequestState& state) {
    if (g_heldBytes.load() > options.maxHeldReplyBytes) {
      return send(connection, state,
                  unavailable("The server is busy: too many replies wait for their clients; "
                              "try again shortly",
                              kRetryAfterSeconds));
    }
    Request request = requestOf(connection, method, state);
    ConnectionExchange exchange(connection, state);
    state.phase = RequestState::Phase::kWaiting;
    try {
      dispatch(request, exchange);
    } catch (const std::exception& e) {
      if (!state.pending) exchange.reply(error(e.what()));
    }
    if (exchange.given()) return send(connection, state, std::move(*exchange.given()));
    if (!state.pending) {
      return send(connection, state, error("The request was not answered"));
    }
    return MHD_YES;
  }
};

namespace {

MHD_Result accessHandler(void* cls, MHD_Connection* connection, const char*, const char* method,
                         const char* version, const char* upload, size_t* uploadSize,
                         void** context) {
  auto* state = static_cast<RequestState*>(*context);
  if (state == nullptr) return MHD_NO;
  state->http10 = std::strcmp(version, MHD_HTTP_VERSION_1_0) == 0;
  return static_cast<Endpoint::Impl*>(cls)->onRequest(connection, method, upload, uploadSize,
                                                      *state);
}

// The connections with no request under way, oldest first. When a new
// connection would leave fewer than kSpareConnections places below the cap,
// the oldest of them is ended (its socket shut down; the library then closes
// it as a client's close), so that a flood of idle connections never keeps
// a real client out.
class IdleConnections {
 public:
  static constexpr size_t kSpareConnections = 16;

  struct Entry {
    int socket = -1;
    bool idle = false;
    bool ended = false;
    std::list<Entry*>::iterator at;
  };

  void setLimit(size_t limit) {
    threshold_ = limit > 2 * kSpareConnections ? limit - kSpareConnections : limit / 2;
  }

  void opened(Entry* entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++live_;
    rest(entry);
    while (live_ - ending_ > threshold_ && !idle_.empty()) {
      Entry* oldest = idle_.front();
      idle_.pop_front();
      oldest->idle = false;
      oldest->ended = true;
      ++ending_;
      shutdown(oldest->socket, SHUT_RDWR);
    }
  }

  void closed(Entry* entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    --live_;
    if (entry->ended) --ending_;
    if (entry->idle) idle_.erase(entry->at);
  }

  void busy(Entry* entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!entry->idle) return;
    idle_.erase(entry->at);
    entry->idle = false;
  }

  void rested(Entry* entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!entry->idle && !entry->ended) rest(entry);
  }

 private:
  void rest(Entry* entry) {
    entry->at = idle_.insert(idle_.end(), entry);
    entry->idle = true;
  }

  std::mutex mutex_;
  std::list<Entry*> idle_;
  size_t live_ = 0;
  size_t ending_ = 0;
  size_t threshold_ = 0;
};

IdleConnections& idleConnections() {
  static IdleConnections* connections = new IdleConnections;  // lives as long as the process
  return *connections;
}

IdleConnections::Entry* entryOf(MHD_Connection* connection) {
  const MHD_ConnectionInfo* info =
      MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
  return info == nullptr ? nullptr : static_cast<IdleConnections::Entry*>(info->socket_context);
}

void* requestStarted(void*, const char* target, MHD_Connection* connection) {
  ++g_inFlight;
  if (IdleConnections::Entry* entry = entryOf(connection)) idleConnections().busy(entry);
  auto* state = new RequestState;
  state->target = target;
  return state;
}

void requestCompleted(void* cls, MHD_Connection* connection, void** context,
                      MHD_RequestTerminationCode) {
  auto* state = static_cast<RequestState*>(*context);
  *context = nullptr;
  if (state == nullptr) return;
  if (state->counted) --g_inFlight;
  delete state;
  // Back to the idle timeout until the next request's reply.
  MHD_set_connection_option(connection, MHD_CONNECTION_OPTION_TIMEOUT,
                            static_cast<Endpoint::Impl*>(cls)->options.idleSeconds);
  if (IdleConnections::Entry* entry = entryOf(connection)) idleConnections().rested(entry);
}

// Replies go out as soon as they are written, without waiting on the
// client's acknowledgement of the previous segment.
void connectionNotice(void*, MHD_Connection* connection, void** context,
                      MHD_ConnectionNotificationCode code) {
  if (code == MHD_CONNECTION_NOTIFY_CLOSED) {
    auto* entry = static_cast<IdleConnections::Entry*>(*context);
    *context = nullptr;
    if (entry == nullptr) return;
    idleConnections().closed(entry);
    delete entry;
    return;
  }
  const MHD_ConnectionInfo* info =
      MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
  if (info == nullptr) return;
  const int on = 1;
  setsockopt(info->connect_fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  auto* entry = new IdleConnections::Entry;
  entry->socket = info->connect_fd;
  *context = entry;
  idleConnections().opened(entry);
}

// Targets and headers go to the server as sent: nothing is decoded here.
size_t keepEscapes(void*, MHD_Connection*, char* text) { return std::strlen(text); }

}  // namespace

Endpoint::Endpoint(EndpointOptions options, Dispatch dispatch) : impl_(std::make_unique<Impl>()) {
  impl_->options = std::move(options);
  impl_->dispatch = std::move(dispatch);
}

Endpoint::~Endpoint() = default;

void Endpoint::start() {
  const EndpointOptions& o = impl_->options;
  idleConnections().setLimit(o.connectionLimit);
  const bool tls = !o.tlsCertificate.empty() && !o.tlsKey.empty();
  unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME |
                   MHD_USE_SUPPRESS_DATE_NO_CLOCK | MHD_USE_TURBO;
  if (tls) flags |= MHD_USE_TLS;
  std::vector<MHD_OptionItem> items = {
      {MHD_OPTION_THREAD_POOL_SIZE, o.threads, nullptr},
      {MHD_OPTION_CONNECTION_LIMIT, o.connectionLimit, nullptr},
      {MHD_OPTION_CONNECTION_TIMEOUT, o.idleSeconds, nullptr},
      {MHD_OPTION_CONNECTION_MEMORY_LIMIT, 32 * 1024, nullptr},
      {MHD_OPTION_URI_LOG_CALLBACK, reinterpret_cast<intptr_t>(&requestStarted), nullptr},
      {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(&requestCompleted), impl_.get()},
      {MHD_OPTION_NOTIFY_CONNECTION, reinterpret_cast<intptr_t>(&connectionNotice), nullptr},
      {MHD_OPTION_UNESCAPE_CALLBACK, reinterpret_cast<intptr_t>(&keepEscapes), nullptr},
  };
  if (tls) {
    items.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char*>(o.tlsCertificate.c_str())});
    items.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char*>(o.tlsKey.c_str())});
    items.push_back({MHD_OPTION_HTTPS_PRIORITIES, 0,
                     const_cast<char*>("NORMAL:-VERS-ALL:+VERS-TLS1.3:+VERS-TLS1.2")});
  }
  items.push_back({MHD_OPTION_END, 0, nullptr});
  impl_->daemon = MHD_start_daemon(flags, o.port, nullptr, nullptr, &accessHandler, impl_.get(),
                                   MHD_OPTION_ARRAY, items.data(), MHD_OPTION_END);
  if (impl_->daemon == nullptr) {
    throw std::runtime_error("Could not serve HTTP" + std::string(tls ? "S" : "") + " on port " +
                             std::to_string(o.port) + ": " + std::strerror(errno));
  }
}

size_t requestsInFlight() { return g_inFlight; }

size_t heldReplyBytes() { return g_heldBytes; }

}  // namespace http
