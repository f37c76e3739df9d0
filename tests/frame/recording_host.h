// A host callback for tests: records every call with its six arguments and answers from a
// script. The callback is a plain function pointer, so the recorder is process-wide; each test
// resets it.
#pragma once

#include <functional>
#include <vector>

#include "frame/host_interface.h"

struct HostCall {
    AEffect* effect;
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    void* ptr;
    float opt;
};

class RecordingHost {
  public:
    // Forgets earlier calls; answers `defaultAnswer` to every opcode until scripted otherwise.
    static void reset(VstIntPtr defaultAnswer = 0) {
        calls().clear();
        script() = [defaultAnswer](const HostCall&) { return defaultAnswer; };
    }
    static void answerWith(std::function<VstIntPtr(const HostCall&)> answer) {
        script() = std::move(answer);
    }
    static std::vector<HostCall>& calls() {
        static std::vector<HostCall> recorded;
        return recorded;
    }
    static VstIntPtr VSTCALLBACK callback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                          VstIntPtr value, void* ptr, float opt) {
        const HostCall call{effect, opcode, index, value, ptr, opt};
        calls().push_back(call);
        return script() ? script()(call) : 0;
    }

  private:
    static std::function<VstIntPtr(const HostCall&)>& script() {
        static std::function<VstIntPtr(const HostCall&)> answer;
        return answer;
    }
};
