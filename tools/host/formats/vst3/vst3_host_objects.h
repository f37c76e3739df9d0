// The objects a VST 3 host lends its plug-ins: the host context (IHostApplication, which also
// makes messages and attribute lists), the component handler, a memory stream for state, the
// event list and parameter changes of one process call, and the editor's frame with its Linux
// run loop. The long-lived ones belong to the host, not to the plug-in: their reference counts
// are kept for form only, and they are destroyed by their C++ owner after the module is
// unloaded, since plug-ins have been seen to keep references past terminate. Messages and
// attribute lists are the plug-in's to release and count for real.
//
// Threads: everything on the main (user-interface) thread, except the event list and the
// parameter changes, which the plug-in reads on its audio thread during process.
#pragma once

#include <atomic>
#include <functional>
#include <vector>

#include "vst3/vst3_interface.h"

namespace cqhost {

// The FUnknown part of a host object that implements one interface `I` and lives as long as
// its owner.
template <class I>
class Vst3HostObject : public I {
  public:
    vst3::tresult PLUGIN_API queryInterface(const vst3::TUID iid, void** obj) override {
        if (obj == nullptr) return vst3::kInvalidArgument;
        if (iid != nullptr &&
            (vst3::sameUid(iid, vst3::FUnknown::iid) || vst3::sameUid(iid, I::iid))) {
            *obj = static_cast<I*>(this);
            this->addRef();
            return vst3::kResultOk;
        }
        return queryOther(iid, obj);
    }
    vst3::uint32 PLUGIN_API addRef() override { return ++references_; }
    vst3::uint32 PLUGIN_API release() override { return references_ > 1 ? --references_ : 1; }

  protected:
    // Other interfaces the object answers for (another object's, such as the frame's run
    // loop). Stores null and says kNoInterface by default.
    virtual vst3::tresult queryOther(const vst3::TUID, void** obj) {
        *obj = nullptr;
        return vst3::kNoInterface;
    }

  private:
    std::atomic<vst3::uint32> references_{1};
};

class Vst3HostApplication : public Vst3HostObject<vst3::IHostApplication> {
  public:
    vst3::tresult PLUGIN_API getName(vst3::String128 name) override;
    vst3::tresult PLUGIN_API createInstance(vst3::TUID classId, vst3::TUID interfaceId,
                                            void** obj) override;
};

// Edits from the editor are taken and dropped: the host keeps no parameters of its own.
class Vst3ComponentHandler : public Vst3HostObject<vst3::IComponentHandler> {
  public:
    vst3::tresult PLUGIN_API beginEdit(vst3::ParamID) override { return vst3::kResultOk; }
    vst3::tresult PLUGIN_API performEdit(vst3::ParamID, vst3::ParamValue) override {
        return vst3::kResultOk;
    }
    vst3::tresult PLUGIN_API endEdit(vst3::ParamID) override { return vst3::kResultOk; }
    vst3::tresult PLUGIN_API restartComponent(vst3::int32) override { return vst3::kResultOk; }
};

// State bytes in memory. A read past the end reads what there is and still says kResultOk
// (with the count), as plug-ins built on common frameworks expect.
class Vst3MemoryStream : public Vst3HostObject<vst3::IBStream> {
  public:
    vst3::tresult PLUGIN_API read(void* buffer, vst3::int32 numBytes,
                                  vst3::int32* numBytesRead) override;
    vst3::tresult PLUGIN_API write(void* buffer, vst3::int32 numBytes,
                                   vst3::int32* numBytesWritten) override;
    vst3::tresult PLUGIN_API seek(vst3::int64 pos, vst3::int32 mode, vst3::int64* result) override;
    vst3::tresult PLUGIN_API tell(vst3::int64* pos) override;

  private:
    std::vector<char> bytes_;
    std::size_t position_ = 0;
};

// The note events of one block, in time order. Holding as many events as a block has had so
// far allocates nothing.
class Vst3EventList : public Vst3HostObject<vst3::IEventList> {
  public:
    Vst3EventList() { events_.reserve(512); }
    vst3::int32 PLUGIN_API getEventCount() override {
        return static_cast<vst3::int32>(events_.size());
    }
    vst3::tresult PLUGIN_API getEvent(vst3::int32 index, vst3::Event& e) override;
    vst3::tresult PLUGIN_API addEvent(vst3::Event& e) override;
    // The MIDI message `bytes` at frame `offset` of the block, as a note-on or note-off event;
    // other messages have no event of their own here and are dropped.
    void addMidi(const unsigned char* bytes, int offset);
    void clear() { events_.clear(); }

  private:
    std::vector<vst3::Event> events_;
};

// A block's parameter changes: none in, and those out dropped (one queue takes every point).
class Vst3ParamQueue : public Vst3HostObject<vst3::IParamValueQueue> {
  public:
    vst3::ParamID PLUGIN_API getParameterId() override { return 0; }
    vst3::int32 PLUGIN_API getPointCount() override { return 0; }
    vst3::tresult PLUGIN_API getPoint(vst3::int32, vst3::int32&, vst3::ParamValue&) override {
        return vst3::kInvalidArgument;
    }
    vst3::tresult PLUGIN_API addPoint(vst3::int32, vst3::ParamValue, vst3::int32& index) override {
        index = 0;
        return vst3::kResultOk;
    }
};
class Vst3ParameterChanges : public Vst3HostObject<vst3::IParameterChanges> {
  public:
    vst3::int32 PLUGIN_API getParameterCount() override { return 0; }
    vst3::IParamValueQueue* PLUGIN_API getParameterData(vst3::int32) override { return nullptr; }
    vst3::IParamValueQueue* PLUGIN_API addParameterData(const vst3::ParamID&,
                                                        vst3::int32& index) override {
        index = 0;
        return &dropped_;
    }

  private:
    Vst3ParamQueue dropped_;
};

// The timers and file descriptors an editor registers, run from the host's loop (idle) on
// Linux. Its clock is the system's, or one the caller moves (setManualClock).
class Vst3RunLoop : public Vst3HostObject<vst3::Linux::IRunLoop> {
  public:
    vst3::tresult PLUGIN_API registerEventHandler(vst3::Linux::IEventHandler* handler,
                                                  vst3::Linux::FileDescriptor fd) override;
    vst3::tresult PLUGIN_API unregisterEventHandler(vst3::Linux::IEventHandler* handler) override;
    vst3::tresult PLUGIN_API registerTimer(vst3::Linux::ITimerHandler* handler,
                                           vst3::Linux::TimerInterval milliseconds) override;
    vst3::tresult PLUGIN_API unregisterTimer(vst3::Linux::ITimerHandler* handler) override;

    // Runs the handlers of descriptors ready to read and the timers due (all of them with
    // `allTimers`).
    void serve(bool allTimers = false);
    // Milliseconds until the next timer is due; 0 when one is due now or none is registered.
    long long nextWait() const;
    // From now on the clock reads `ms`, moved only by the caller. Registered timers start
    // their period afresh.
    void setManualClock(long long ms);
    bool empty() const { return timers_.empty() && descriptors_.empty(); }

  private:
    struct Timer {
        vst3::Linux::ITimerHandler* handler;
        long long periodMs, dueMs;
    };
    struct Descriptor {
        vst3::Linux::IEventHandler* handler;
        int fd;
    };
    long long now() const;
    // The descriptors of `descriptors_` ready to read now (each system's own).
    std::vector<int> readyDescriptors() const;

    std::vector<Timer> timers_;
    std::vector<Descriptor> descriptors_;
    bool manualClock_ = false;
    long long manualMs_ = 0;
};

// The frame around an editor view. On Linux it answers for the run loop too.
class Vst3PlugFrame : public Vst3HostObject<vst3::IPlugFrame> {
  public:
    vst3::tresult PLUGIN_API resizeView(vst3::IPlugView* view, vst3::ViewRect* newSize) override;
    Vst3RunLoop& runLoop() { return runLoop_; }
    const Vst3RunLoop& runLoop() const { return runLoop_; }

  protected:
    vst3::tresult queryOther(const vst3::TUID iid, void** obj) override;

  private:
    Vst3RunLoop runLoop_;
};

// Every long-lived object a host lends one plug-in.
struct Vst3HostObjects {
    Vst3HostApplication application;
    Vst3ComponentHandler handler;
    Vst3PlugFrame frame;
};

// UTF-16 text (NUL-terminated within `units`) as UTF-8, and back.
std::string utf8Of(const vst3::char16* text, std::size_t units);
void copyUtf16(const std::string& text, vst3::char16* out, std::size_t units);

}  // namespace cqhost
