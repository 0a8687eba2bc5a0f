// Replies of list reads, and the one check of their kind.
#include "events/ListReader.h"

#include <string>

#include "common/Log.h"
#include "common/RedisWrapper.h"
#include "events/EventsException.h"

namespace events {

namespace {

void freeReply(redisReply* reply) { freeReplyObject(reply); }
void keepReply(redisReply*) {}

ListReply::Kind kindOf(const redisReply* reply) {
  if (reply == nullptr) return ListReply::Kind::kNone;
  switch (reply->type) {
    case redis_type::kArray: return ListReply::Kind::kList;
    case redis_type::kInteger: return ListReply::Kind::kNumber;
    case redis_type::kString: return ListReply::Kind::kText;
    case redis_type::kNil: return ListReply::Kind::kNil;
    default: return ListReply::Kind::kOther;
  }
}

// `line` with "{key}" and "{type}" replaced, for the log.
std::string filledLine(std::string line, const std::string& key, int typeNumber) {
  const std::pair<const char*, std::string> fields[] = {{"{key}", key},
                                                        {"{type}", std::to_string(typeNumber)}};
  for (const auto& [name, value] : fields) {
    const size_t at = line.find(name);
    if (at != std::string::npos) line.replace(at, std::char_traits<char>::length(name), value);
  }
  return line;
}

}  // namespace

ListReply::ListReply(Owned owned, const redisReply* reply)
    : owned_(std::move(owned)), reply_(reply), kind_(kindOf(reply)) {}

ListReply ListReply::own(redisReply* reply) { return ListReply(Owned(reply, &freeReply), reply); }

ListReply ListReply::view(const redisReply* reply) {
  return ListReply(Owned(nullptr, &keepReply), reply);
}

int ListReply::typeNumber() const { return reply_ != nullptr ? reply_->type : 0; }

size_t ListReply::size() const { return kind_ == Kind::kList ? reply_->elements : 0; }

ListElement ListReply::operator[](size_t i) const {
  const redisReply* element = reply_->element[i];
  return {element->str, element->len};
}

long long ListReply::number() const { return reply_->integer; }

ListElement ListReply::text() const { return {reply_->str, reply_->len}; }

const ListReply& expect(const ListReply& reply, ListReply::Kind kind, const std::string& key,
                        const ReadFailure& failure) {
  if (reply.kind() == kind) return reply;
  const bool none = reply.kind() == ListReply::Kind::kNone;
  const char* line = none ? failure.noReplyLine : failure.wrongKindLine;
  if (line != nullptr) {
    logging::alert("%s", filledLine(line, key, reply.typeNumber()).c_str());
  }
  throw EventsException(none ? failure.noReplyText : failure.wrongKindText);
}

}  // namespace events
