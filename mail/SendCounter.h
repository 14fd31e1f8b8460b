#pragma once
#include <string>

namespace murmel {

// After every send the recorder makes one GET request to the send counter named by
// $MURMEL_COUNTER_URL ("http://host[:port]/path"). Empty or unset: nothing happens.
// The request runs on its own detached thread; the answer is neither read nor
// waited for, and every failure is ignored.
void RequestSendCounter();

// The same request on the calling thread; false when it could not be made.
bool RequestSendCounterNow(const std::string& url);

}  // namespace murmel
