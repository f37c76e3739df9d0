// The host side of a CLAP plug-in's calls: the host record's functions (extensions, requests,
// thread check, timers, file descriptors, latency), and the main-thread service that answers
// requests, fires timers and reports ready descriptors.
#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "formats/clap/clap_host.h"

namespace cqhost {
namespace {

// Host extension IDs this host recognises when a plug-in asks, the ones it offers first.
constexpr const char* kKnownExtensionIds[] = {CLAP_EXT_THREAD_CHECK,
                                              CLAP_EXT_TIMER_SUPPORT,
                                              CLAP_EXT_POSIX_FD_SUPPORT,
                                              CLAP_EXT_LATENCY,
                                              CLAP_EXT_GUI,
                                              CLAP_EXT_AUDIO_PORTS,
                                              CLAP_EXT_NOTE_PORTS,
                                              CLAP_EXT_STATE,
                                              CLAP_EXT_PARAMS,
                                              "clap.log"};

// Removes the first element that matches; whether there was one.
template <typename List, typename Match>
bool eraseFirst(List& list, Match match) {
    const auto found = std::find_if(list.begin(), list.end(), match);
    if (found == list.end()) return false;
    list.erase(found);
    return true;
}

}  // namespace

void ClapPlugin::serviceMainThread() {
    requireMainThread("serviceMainThread");
    if (callbackRequested_.exchange(false)) {
        plugin_->on_main_thread(plugin_);
    }
    fireTimers(true);
    serviceDescriptors();
}

void ClapPlugin::runTimersNow() {
    requireMainThread("runTimersNow");
    fireTimers(false);
}

void ClapPlugin::fireTimers(bool dueOnly) {
    const auto* timerExt =
        static_cast<const clap_plugin_timer_support*>(extension(CLAP_EXT_TIMER_SUPPORT));
    const TimePoint now = this->now();
    // A timer callback may register or unregister timers: walk a copy of the IDs.
    std::vector<clap_id> chosen;
    for (const Timer& timer : timers_) {
        if (!dueOnly || timer.due <= now) chosen.push_back(timer.id);
    }
    for (clap_id id : chosen) {
        auto timer = std::find_if(timers_.begin(), timers_.end(),
                                  [id](const Timer& t) { return t.id == id; });
        if (timer == timers_.end()) continue;
        if (timer->due <= now) {
            // The next due time stays on the timer's own period, skipping the periods missed.
            const std::chrono::milliseconds period(timer->periodMs);
            timer->due += period * ((now - timer->due) / period + 1);
        }
        if (timerExt != nullptr) timerExt->on_timer(plugin_, id);
    }
}

ClapPlugin::TimePoint ClapPlugin::now() const {
    if (!manualClockMs_) return std::chrono::steady_clock::now();
    return TimePoint(std::chrono::milliseconds(*manualClockMs_));
}

void ClapPlugin::setManualClock(long long ms) {
    requireMainThread("setManualClock");
    const bool switching = !manualClockMs_;
    manualClockMs_ = ms;
    if (switching) {
        // From the system's clock to the caller's: each timer starts its period afresh at the
        // switch. Keeping the time it had left would carry over however long the system took
        // between the registration and the switch, so a render's timers would fall on
        // different milliseconds from run to run.
        for (Timer& timer : timers_) timer.due = now() + std::chrono::milliseconds(timer.periodMs);
    }
}

long long ClapPlugin::nextTimerWait() const {
    requireMainThread("nextTimerWait");
    if (timers_.empty()) return -1;
    const auto next =
        std::min_element(timers_.begin(), timers_.end(),
                         [](const Timer& a, const Timer& b) { return a.due < b.due; });
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next->due - now());
    return std::max<long long>(0, wait.count());
}

std::vector<std::string> ClapPlugin::extensionsAsked() const {
    std::vector<std::pair<int, std::string>> asked;
    for (std::size_t i = 0; i <= kKnownExtensions; ++i) {
        const int order = extensionAskedOrder_[i].load();
        if (order > 0)
            asked.emplace_back(order, i < kKnownExtensions ? kKnownExtensionIds[i] : "(others)");
    }
    std::sort(asked.begin(), asked.end());
    std::vector<std::string> names;
    for (auto& [order, name] : asked) names.push_back(std::move(name));
    return names;
}

std::vector<std::string> ClapPlugin::ruleBreaks() const {
    static constexpr const char* kDescriptions[kRuleBreakKinds] = {
        "called a main-thread host function on another thread",
        "reported a latency change outside activate", "named a timer it had not registered",
        "named a file descriptor it had not registered"};
    std::vector<std::string> breaks;
    for (int kind = 0; kind < kRuleBreakKinds; ++kind) {
        if (const int count = ruleBreaks_[kind].load(); count > 0) {
            breaks.push_back(std::string(kDescriptions[kind]) + " (x" + std::to_string(count) +
                             ")");
        }
    }
    return breaks;
}

// ---- The host record's functions -----------------------------------------------------------

ClapPlugin& ClapPlugin::of(const clap_host* host) {
    return *static_cast<ClapPlugin*>(host->host_data);
}

void ClapPlugin::requireMainThread(const char* call) const {
    if (std::this_thread::get_id() != mainThread_) {
        throw std::logic_error(std::string("ClapPlugin::") + call + " off the main thread");
    }
}

bool ClapPlugin::onMainThread() {
    if (std::this_thread::get_id() == mainThread_) return true;
    noteRuleBreak(kMainThreadCallOffMainThread);
    return false;
}

const void* ClapPlugin::getExtension(const clap_host* host, const char* id) {
    static constexpr clap_host_thread_check kThreadCheck{&isMainThread, &isAudioThread};
    static constexpr clap_host_timer_support kTimers{&registerTimer, &unregisterTimer};
    static constexpr clap_host_posix_fd_support kFds{&registerFd, &modifyFd, &unregisterFd};
    static constexpr clap_host_latency kLatency{&latencyChanged};
    if (id == nullptr) return nullptr;
    ClapPlugin& self = of(host);
    std::size_t known = 0;
    while (known < kKnownExtensions && std::strcmp(id, kKnownExtensionIds[known]) != 0) ++known;
    int expected = 0;
    if (self.extensionAskedOrder_[known].load() == 0) {
        self.extensionAskedOrder_[known].compare_exchange_strong(
            expected, self.extensionsAskedCount_.fetch_add(1) + 1);
    }
    if (std::strcmp(id, CLAP_EXT_THREAD_CHECK) == 0) return &kThreadCheck;
    if (std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0) return self.offerTimers_ ? &kTimers : nullptr;
    if (std::strcmp(id, CLAP_EXT_POSIX_FD_SUPPORT) == 0) return kPollsDescriptors ? &kFds : nullptr;
    if (std::strcmp(id, CLAP_EXT_LATENCY) == 0) return &kLatency;
    return nullptr;
}

void ClapPlugin::requestRestart(const clap_host* host) {
    of(host).restartRequested_ = true;
}
void ClapPlugin::requestProcess(const clap_host* host) {
    of(host).processRequested_ = true;
}
void ClapPlugin::requestCallback(const clap_host* host) {
    of(host).callbackRequested_ = true;
}

bool ClapPlugin::isMainThread(const clap_host* host) {
    return std::this_thread::get_id() == of(host).mainThread_;
}

bool ClapPlugin::isAudioThread(const clap_host* host) {
    return audioCallOf_ == &of(host);
}

bool ClapPlugin::registerTimer(const clap_host* host, std::uint32_t periodMs, clap_id* timerId) {
    ClapPlugin& self = of(host);
    if (!self.onMainThread() || timerId == nullptr) return false;
    // Periods under the display refresh rates hosts allow are raised to 30 per second.
    const std::uint32_t period = std::max<std::uint32_t>(periodMs, 33);
    *timerId = self.nextTimerId_++;
    self.timers_.push_back({*timerId, period, self.now() + std::chrono::milliseconds(period)});
    return true;
}

bool ClapPlugin::unregisterTimer(const clap_host* host, clap_id timerId) {
    ClapPlugin& self = of(host);
    if (!self.onMainThread()) return false;
    if (eraseFirst(self.timers_, [timerId](const Timer& t) { return t.id == timerId; }))
        return true;
    self.noteRuleBreak(kUnknownTimer);
    return false;
}

bool ClapPlugin::registerFd(const clap_host* host, int fd, std::uint32_t flags) {
    ClapPlugin& self = of(host);
    if (!self.onMainThread() || fd < 0) return false;
    for (const Descriptor& d : self.descriptors_) {
        if (d.fd == fd) return false;
    }
    self.descriptors_.push_back({fd, flags});
    return true;
}

bool ClapPlugin::modifyFd(const clap_host* host, int fd, std::uint32_t flags) {
    ClapPlugin& self = of(host);
    if (!self.onMainThread()) return false;
    for (Descriptor& d : self.descriptors_) {
        if (d.fd == fd) {
            d.flags = flags;
            return true;
        }
    }
    self.noteRuleBreak(kUnknownFd);
    return false;
}

bool ClapPlugin::unregisterFd(const clap_host* host, int fd) {
    ClapPlugin& self = of(host);
    if (!self.onMainThread()) return false;
    if (eraseFirst(self.descriptors_, [fd](const Descriptor& d) { return d.fd == fd; }))
        return true;
    self.noteRuleBreak(kUnknownFd);
    return false;
}

void ClapPlugin::latencyChanged(const clap_host* host) {
    ClapPlugin& self = of(host);
    if (self.onMainThread() && !self.activating_)
        self.noteRuleBreak(kLatencyChangedOutsideActivate);
}

}  // namespace cqhost
