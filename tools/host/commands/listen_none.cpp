// `listen` in a build without libjack's development files.
#include "common/commands.h"
#include "common/host_error.h"

namespace cqhost {

int runListen(const ListenOptions&) {
    throw HostError("this cqscope-host was built without JACK (libjack-jackd2-dev): no listen");
}

}  // namespace cqhost
