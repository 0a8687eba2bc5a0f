// The per-thread permission to wait.
#include "common/Blocking.h"

namespace blocking {

namespace {

thread_local bool t_forbidden = false;

}  // namespace

Forbidden::Forbidden() : previous_(t_forbidden) { t_forbidden = true; }

Forbidden::~Forbidden() { t_forbidden = previous_; }

void checkAllowed() {
  if (t_forbidden) throw WouldBlock{};
}

}  // namespace blocking
