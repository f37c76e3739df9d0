#include "formats/vst3/vst3_host_objects.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <string>
#include <variant>

namespace cqhost {
namespace {

using namespace vst3;

// An object the plug-in owns once made: deleted at its last release.
template <class I>
class CountedObject : public I {
  public:
    virtual ~CountedObject() = default;
    tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
        if (obj == nullptr) return kInvalidArgument;
        if (iid != nullptr && (sameUid(iid, FUnknown::iid) || sameUid(iid, I::iid))) {
            *obj = static_cast<I*>(this);
            addRef();
            return kResultOk;
        }
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 PLUGIN_API addRef() override { return ++references_; }
    uint32 PLUGIN_API release() override {
        const uint32 left = --references_;
        if (left == 0) delete this;
        return left;
    }

  private:
    std::atomic<uint32> references_{1};
};

class AttributeList : public CountedObject<IAttributeList> {
  public:
    tresult PLUGIN_API setInt(AttrID id, int64 value) override { return set(id, value); }
    tresult PLUGIN_API getInt(AttrID id, int64& value) override { return get(id, value); }
    tresult PLUGIN_API setFloat(AttrID id, double value) override { return set(id, value); }
    tresult PLUGIN_API getFloat(AttrID id, double& value) override { return get(id, value); }
    tresult PLUGIN_API setString(AttrID id, const TChar* text) override {
        if (text == nullptr) return kInvalidArgument;
        return set(id, std::u16string(text));
    }
    tresult PLUGIN_API getString(AttrID id, TChar* text, uint32 sizeInBytes) override {
        std::u16string value;
        const tresult result = get(id, value);
        if (result != kResultOk || text == nullptr || sizeInBytes < sizeof(TChar)) return result;
        const std::size_t units = std::min<std::size_t>(value.size(), sizeInBytes / 2 - 1);
        std::copy_n(value.data(), units, text);
        text[units] = 0;
        return kResultOk;
    }
    tresult PLUGIN_API setBinary(AttrID id, const void* data, uint32 sizeInBytes) override {
        if (data == nullptr && sizeInBytes != 0) return kInvalidArgument;
        const char* bytes = static_cast<const char*>(data);
        return set(id, std::vector<char>(bytes, bytes + sizeInBytes));
    }
    tresult PLUGIN_API getBinary(AttrID id, const void*& data, uint32& sizeInBytes) override {
        const auto* value = find<std::vector<char>>(id);
        if (value == nullptr) return kResultFalse;
        data = value->data();
        sizeInBytes = static_cast<uint32>(value->size());
        return kResultOk;
    }

  private:
    using Value = std::variant<int64, double, std::u16string, std::vector<char>>;
    template <class T>
    tresult set(AttrID id, T value) {
        if (id == nullptr) return kInvalidArgument;
        values_[id] = std::move(value);
        return kResultOk;
    }
    template <class T>
    const T* find(AttrID id) const {
        if (id == nullptr) return nullptr;
        const auto it = values_.find(id);
        return it == values_.end() ? nullptr : std::get_if<T>(&it->second);
    }
    template <class T>
    tresult get(AttrID id, T& value) const {
        const T* found = find<T>(id);
        if (found == nullptr) return kResultFalse;
        value = *found;
        return kResultOk;
    }
    std::map<std::string, Value> values_;
};

class Message : public CountedObject<IMessage> {
  public:
    FIDString PLUGIN_API getMessageID() override { return id_.c_str(); }
    void PLUGIN_API setMessageID(FIDString id) override { id_ = id != nullptr ? id : ""; }
    IAttributeList* PLUGIN_API getAttributes() override { return attributes_; }
    ~Message() override { attributes_->release(); }

  private:
    std::string id_;
    AttributeList* attributes_ = new AttributeList;
};

}  // namespace

tresult PLUGIN_API Vst3HostApplication::getName(String128 name) {
    if (name == nullptr) return kInvalidArgument;
    copyUtf16("cqscope-host", name, 128);
    return kResultOk;
}

tresult PLUGIN_API Vst3HostApplication::createInstance(TUID classId, TUID interfaceId, void** obj) {
    if (obj == nullptr) return kInvalidArgument;
    *obj = nullptr;
    if (classId == nullptr || interfaceId == nullptr) return kInvalidArgument;
    FUnknown* made = nullptr;
    if (sameUid(classId, IMessage::iid)) {
        made = new Message;
    } else if (sameUid(classId, IAttributeList::iid)) {
        made = new AttributeList;
    } else {
        return kResultFalse;
    }
    // The asked interface adds its reference; the one of making goes.
    const tresult result = made->queryInterface(interfaceId, obj);
    made->release();
    return result == kResultOk ? kResultOk : kResultFalse;
}

tresult PLUGIN_API Vst3MemoryStream::read(void* buffer, int32 numBytes, int32* numBytesRead) {
    if (numBytes < 0 || (buffer == nullptr && numBytes > 0)) return kInvalidArgument;
    const std::size_t count =
        std::min(static_cast<std::size_t>(numBytes), bytes_.size() - position_);
    if (count > 0) std::memcpy(buffer, bytes_.data() + position_, count);
    position_ += count;
    if (numBytesRead != nullptr) *numBytesRead = static_cast<int32>(count);
    return kResultOk;
}

tresult PLUGIN_API Vst3MemoryStream::write(void* buffer, int32 numBytes, int32* numBytesWritten) {
    if (numBytes < 0 || (buffer == nullptr && numBytes > 0)) return kInvalidArgument;
    const std::size_t count = static_cast<std::size_t>(numBytes);
    if (bytes_.size() < position_ + count) bytes_.resize(position_ + count);
    if (count > 0) std::memcpy(bytes_.data() + position_, buffer, count);
    position_ += count;
    if (numBytesWritten != nullptr) *numBytesWritten = numBytes;
    return kResultOk;
}

tresult PLUGIN_API Vst3MemoryStream::seek(int64 pos, int32 mode, int64* result) {
    int64 base = 0;
    if (mode == kIBSeekCur) base = static_cast<int64>(position_);
    if (mode == kIBSeekEnd) base = static_cast<int64>(bytes_.size());
    if (mode < kIBSeekSet || mode > kIBSeekEnd || base + pos < 0) return kInvalidArgument;
    // Past the end is allowed; reads there read nothing.
    position_ = std::min(static_cast<std::size_t>(base + pos), bytes_.size());
    if (result != nullptr) *result = static_cast<int64>(position_);
    return kResultOk;
}

tresult PLUGIN_API Vst3MemoryStream::tell(int64* pos) {
    if (pos == nullptr) return kInvalidArgument;
    *pos = static_cast<int64>(position_);
    return kResultOk;
}

tresult PLUGIN_API Vst3EventList::getEvent(int32 index, Event& e) {
    if (index < 0 || index >= getEventCount()) return kInvalidArgument;
    e = events_[static_cast<std::size_t>(index)];
    return kResultOk;
}

tresult PLUGIN_API Vst3EventList::addEvent(Event& e) {
    events_.push_back(e);
    return kResultOk;
}

void Vst3EventList::addMidi(const unsigned char* bytes, int offset) {
    const int kind = bytes[0] & 0xF0;
    const bool noteOn = kind == 0x90 && bytes[2] != 0;
    if (!noteOn && kind != 0x80 && kind != 0x90) return;
    Event event{};
    event.sampleOffset = offset;
    const auto channel = static_cast<int16>(bytes[0] & 0x0F);
    const auto pitch = static_cast<int16>(bytes[1] & 0x7F);
    const float velocity = static_cast<float>(bytes[2] & 0x7F) / 127.0f;
    if (noteOn) {
        event.type = Event::kNoteOnEvent;
        event.noteOn = {channel, pitch, 0.0f, velocity, 0, -1};
    } else {
        event.type = Event::kNoteOffEvent;
        event.noteOff = {channel, pitch, velocity, -1, 0.0f};
    }
    events_.push_back(event);
}

tresult PLUGIN_API Vst3RunLoop::registerEventHandler(Linux::IEventHandler* handler,
                                                     Linux::FileDescriptor fd) {
    const bool taken = std::any_of(descriptors_.begin(), descriptors_.end(),
                                   [fd](const Descriptor& d) { return d.fd == fd; });
    if (handler == nullptr || fd < 0 || taken) return kInvalidArgument;
    descriptors_.push_back({handler, fd});
    return kResultOk;
}

tresult PLUGIN_API Vst3RunLoop::unregisterEventHandler(Linux::IEventHandler* handler) {
    const auto end =
        std::remove_if(descriptors_.begin(), descriptors_.end(),
                       [handler](const Descriptor& d) { return d.handler == handler; });
    if (end == descriptors_.end()) return kInvalidArgument;
    descriptors_.erase(end, descriptors_.end());
    return kResultOk;
}

tresult PLUGIN_API Vst3RunLoop::registerTimer(Linux::ITimerHandler* handler,
                                              Linux::TimerInterval milliseconds) {
    if (handler == nullptr || milliseconds == 0) return kInvalidArgument;
    const auto period = static_cast<long long>(milliseconds);
    timers_.push_back({handler, period, now() + period});
    return kResultOk;
}

tresult PLUGIN_API Vst3RunLoop::unregisterTimer(Linux::ITimerHandler* handler) {
    const auto end = std::remove_if(timers_.begin(), timers_.end(),
                                    [handler](const Timer& t) { return t.handler == handler; });
    if (end == timers_.end()) return kInvalidArgument;
    timers_.erase(end, timers_.end());
    return kResultOk;
}

void Vst3RunLoop::serve(bool allTimers) {
    // A handler may unregister itself or others while it runs: each is looked up again
    // before it is called.
    for (const int fd : readyDescriptors()) {
        const auto it = std::find_if(descriptors_.begin(), descriptors_.end(),
                                     [fd](const Descriptor& d) { return d.fd == fd; });
        if (it != descriptors_.end()) it->handler->onFDIsSet(fd);
    }
    const long long time = now();
    std::vector<Linux::ITimerHandler*> due;
    for (Timer& timer : timers_) {
        if (!allTimers && timer.dueMs > time) continue;
        due.push_back(timer.handler);
        // The next period starts now: a late loop does not fire a timer twice to catch up.
        timer.dueMs = time + timer.periodMs;
    }
    for (Linux::ITimerHandler* handler : due) {
        const bool registered =
            std::any_of(timers_.begin(), timers_.end(),
                        [handler](const Timer& t) { return t.handler == handler; });
        if (registered) handler->onTimer();
    }
}

long long Vst3RunLoop::nextWait() const {
    if (timers_.empty()) return 0;
    long long next = timers_.front().dueMs;
    for (const Timer& timer : timers_) next = std::min(next, timer.dueMs);
    return std::max(next - now(), 0LL);
}

void Vst3RunLoop::setManualClock(long long ms) {
    const bool restart = !manualClock_;
    manualClock_ = true;
    manualMs_ = ms;
    if (restart) {
        for (Timer& timer : timers_) timer.dueMs = ms + timer.periodMs;
    }
}

long long Vst3RunLoop::now() const {
    if (manualClock_) return manualMs_;
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

tresult PLUGIN_API Vst3PlugFrame::resizeView(IPlugView* view, ViewRect* newSize) {
    if (view == nullptr || newSize == nullptr) return kInvalidArgument;
    // The parent keeps its size; the view is told the size it asked for, as the protocol has
    // the host do within this call.
    return view->onSize(newSize) == kResultOk ? kResultOk : kResultFalse;
}

tresult Vst3PlugFrame::queryOther(const TUID iid, void** obj) {
#if !defined(_WIN32)
    if (iid != nullptr && sameUid(iid, Linux::IRunLoop::iid)) {
        *obj = static_cast<Linux::IRunLoop*>(&runLoop_);
        runLoop_.addRef();
        return kResultOk;
    }
#else
    (void)iid;
#endif
    *obj = nullptr;
    return kNoInterface;
}

std::string utf8Of(const char16* text, std::size_t units) {
    std::string out;
    for (std::size_t i = 0; i < units && text[i] != 0; ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < units && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// Our own texts are ASCII: each byte is one unit.
void copyUtf16(const std::string& text, char16* out, std::size_t units) {
    const std::size_t count = std::min(text.size(), units - 1);
    for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<char16>(text[i]);
    out[count] = 0;
}

}  // namespace cqhost
