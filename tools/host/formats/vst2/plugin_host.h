// Loads one VST 2.x effect from a shared library and is the host it talks to.
//
// PluginHost owns the library handle and the effect record: the constructor loads the
// library, calls its entry (VSTPluginMain, or main when that is missing) with hostCallback and
// checks the record; the destructor switches the effect off, closes it and unloads the library.
// Loading and unloading are the system's own (plugin_host_posix.cpp here, LoadLibrary in the
// Windows host); everything else, the host callback's answers above all, is plugin_host.cpp,
// shared by both so that they answer an effect alike.
// Everything here runs on the program's single thread, which is at once the host's user
// interface thread and its audio thread, so no call ever overlaps another.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/block_size.h"
#include "core/default_rate.h"
#include "frame/host_interface.h"

namespace cqhost {

class PluginHost {
  public:
    // Called with the library handle once the library is loaded, before its entry runs (to
    // set up what the effect finds from its first instruction, such as a manual clock). It
    // must not throw.
    using BeforeEntry = std::function<void(void* library)>;

    // Throws HostError with a one-line reason when the file is missing, is not a loadable
    // library, exports neither entry, or the entry answers null or a record without the magic.
    explicit PluginHost(const std::string& libraryPath, const BeforeEntry& beforeEntry = {});
    ~PluginHost();
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    AEffect& effect() { return *effect_; }
    const std::string& path() const { return path_; }
    // The loaded library (dlopen's handle, or the HMODULE on Windows).
    void* library() const { return library_; }
    // Which of the two exported names produced the effect.
    const std::string& entryName() const { return entryName_; }

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f);
    // A text answer from an opcode that fills a host buffer; the buffer is far larger than
    // the 64 characters hosts promise, and the result is cut at the first zero inside it.
    std::string dispatchText(VstInt32 opcode, VstInt32 index = 0);

    // Prepares the effect for audio: open, sample rate, block size, switch on, start.
    void start(double sampleRate, int blockSize);
    // The reverse of start; safe to call when not started.
    void stop();

    // Runs processReplacing on numInputs/numOutputs planar buffers of `frames` frames.
    void processReplacing(float** inputs, float** outputs, int frames);

    double sampleRate() const { return sampleRate_; }
    int blockSize() const { return blockSize_; }
    bool processing() const { return started_; }

    // Host opcodes the effect sent, with how often, in first-asked order of opcodes.
    const std::vector<std::pair<VstInt32, int>>& callbackLog() const { return callbackLog_; }

    // The host callback given to the entry. Answers for this host: version 2400, the
    // current sample rate and block size, vendor and product strings, the can-do strings it
    // supports, and 0 for everything it does not offer.
    static VstIntPtr VSTCALLBACK hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                              VstIntPtr value, void* ptr, float opt);

  private:
    using Entry = AEffect*(VSTCALLBACK*)(audioMasterCallback);
    // What loading needs of the system: a symbol of a loaded library, and unloading it.
    struct LibraryCalls {
        void* (*symbol)(void* library, const char* name);
        void (*unload)(void* library);
    };
    // Makes the effect from a library the system has loaded, for both systems alike: finds
    // its entry (VSTPluginMain, else main), runs beforeEntry, calls the entry with
    // hostCallback (calls it makes before it returns its record are answered by this host),
    // checks the record and keeps the library. Throws HostError with a one-line reason,
    // unloading the library first, except after a record without the magic: code that record
    // may still point into stays mapped.
    void startFrom(void* library, const LibraryCalls& calls, const BeforeEntry& beforeEntry);
    // Switches the effect off and closes it (the effect deletes its record); the library
    // stays loaded for the caller to unload.
    void closeEffect();

    VstIntPtr answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
    void record(VstInt32 opcode);

    std::string path_;
    std::string directory_;
    std::string entryName_;
    void* library_ = nullptr;
    AEffect* effect_ = nullptr;
    bool opened_ = false;
    bool started_ = false;
    double sampleRate_ = cqscope::kDefaultSampleRate;
    int blockSize_ = kBlockSize;
    std::vector<std::pair<VstInt32, int>> callbackLog_;
};

// Host callback opcode names, for probe output; "opcode N" for unnamed ones.
std::string hostOpcodeName(VstInt32 opcode);

}  // namespace cqhost
