// Message queues, timers and dispatch.
#include "platform/internal.h"

namespace cqp {

void wakeAllQueuesLocked(State& s) {
    for (auto& entry : s.queues) entry.second->wake.notify_all();
}

}  // namespace cqp
