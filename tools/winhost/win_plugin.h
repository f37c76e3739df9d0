// Loads one VST 2.x effect from a DLL with LoadLibraryA/GetProcAddress and is the host it talks
// to: the Windows side of cqscope-host.exe.
//
// WinPlugin owns the module and the effect record: the constructor loads the DLL, calls its
// entry (VSTPluginMain, or main when that is missing) with hostCallback and checks the record;
// the destructor switches the effect off, closes it and frees the module. Everything runs on
// the program's one thread, which is both the user-interface thread (it owns the windows and
// runs the message loop) and the audio thread, so no two calls into the effect overlap.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "frame/host_interface.h"

namespace winhost {

// Bad input or a plug-in that cannot be used: one line for stderr.
class HostError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class WinPlugin {
  public:
    // Throws HostError when the file is missing, is not a loadable DLL, exports neither entry,
    // or the entry answers null or a record without the magic.
    explicit WinPlugin(const std::string& path);
    ~WinPlugin();
    WinPlugin(const WinPlugin&) = delete;
    WinPlugin& operator=(const WinPlugin&) = delete;

    AEffect& effect() { return *effect_; }
    const std::string& path() const { return path_; }
    const std::string& entryName() const { return entryName_; }

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f);
    // A text answer; the buffer is far larger than the 64 characters hosts promise.
    std::string dispatchText(VstInt32 opcode, VstInt32 index = 0);

    // Open (once), sample rate, block size, switch on, start; stop is the reverse.
    void start(double sampleRate, int blockSize);
    void stop();

    // Host opcodes the effect sent, with how often, in first-asked order.
    const std::vector<std::pair<VstInt32, int>>& callbackLog() const { return callbackLog_; }

    static VstIntPtr VSTCALLBACK hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                              VstIntPtr value, void* ptr, float opt);

  private:
    VstIntPtr answer(VstInt32 opcode, void* ptr);
    void record(VstInt32 opcode);

    std::string path_;
    std::string directory_;
    std::string entryName_;
    void* module_ = nullptr;  // HMODULE
    AEffect* effect_ = nullptr;
    bool opened_ = false;
    bool started_ = false;
    double sampleRate_ = 44100.0;
    int blockSize_ = 512;
    std::vector<std::pair<VstInt32, int>> callbackLog_;
};

// Host callback opcode names, as the Linux host prints them; "opcode N" for unnamed ones.
std::string hostOpcodeName(VstInt32 opcode);

}  // namespace winhost
