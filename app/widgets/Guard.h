// The edge of every connected handler: Qt must never see an exception leave a
// slot (it would end the program), so each handler runs inside Guard, which
// turns whatever it throws into one error box.
#pragma once

#include <exception>
#include <utility>

#include "Messages.h"

namespace app {

// Runs `handler`; an exception that leaves it is shown through
// `messages.Error` with its own text. True when the handler ran to its end.
template <class Handler>
bool Guard(Messages& messages, Handler&& handler) noexcept {
  try {
    std::forward<Handler>(handler)();
    return true;
  } catch (const std::exception& e) {
    messages.Error(e.what());
  } catch (...) {
    messages.Error("Unknown error");
  }
  return false;
}

}  // namespace app
