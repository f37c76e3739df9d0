#include "validate.h"

#include <dlfcn.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <random>
#include <sstream>
#include <thread>
#include <vector>

#include "event_list.h"
#include "host_error.h"
#include "platform_api.h"
#include "plugin_host.h"

namespace cqhost {
namespace {

// The analyser's unique ID, 'dq93': pass-through must be bit-exact and its display known.
constexpr VstInt32 kAnalyserId = 0x64713933;
// Its Hold button: x 910 to 959, y 0 to 23 of the display.
constexpr int kHoldX = 935;
constexpr int kHoldY = 12;

// Host text buffers: hosts give 64 bytes at least; the validator gives kTextBuffer bytes
// filled with a guard pattern, so that writes past the terminator or past 64 bytes are seen.
constexpr size_t kHostTextLimit = 64;
constexpr size_t kTextBuffer = 512;
constexpr unsigned char kGuard = 0xA5;

// A zeroed block big enough for any record an opcode may fill (properties, key names,
// program names, patch information): several kilobytes more than the largest.
constexpr size_t kSafeBlock = 16384;

// Failure and skip of one check, thrown from inside it.
struct CheckFailure {
    std::string reason;
};
struct CheckSkipped {
    std::string reason;
};

[[noreturn]] void fail(const std::string& reason) {
    throw CheckFailure{reason};
}

// In a child process: the pipe to the parent, which keeps the last step announced, so that
// a crash is reported with the step that was running.
int progressPipe = -1;

void step(const std::string& what) {
    if (progressPipe < 0) return;
    const std::string line = "~" + what + "\n";
    size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(progressPipe, line.data() + done, line.size() - done);
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

// What the first check learns about the plug-in, handed to every later check.
struct Subject {
    std::string path;
    int strictness = 5;
    std::uint64_t seed = 1;
    int timeoutSeconds = 900;
    bool analyser = false;
    bool platformEditor = false;  // an editor drawn through our platform library
    bool receivesMidi = false;
    bool programChunks = false;
    bool canReplace = false;
    int numInputs = 0;
    int numOutputs = 0;
    int numParams = 0;
    int numPrograms = 0;
};

std::string hex(long long value) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%llx", value);
    return text;
}

std::string fourChars(VstInt32 id) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((id >> shift) & 0xFF);
        text += (c >= 32 && c < 127) ? c : '?';
    }
    return text;
}

// ---- Audio rig: buffers with guard areas and a way to run blocks through one effect ----

class AudioRig {
  public:
    AudioRig(PluginHost& host, int maxFrames)
        : host_(host),
          ins_(std::max(host.effect().numInputs, 0)),
          outs_(std::max(host.effect().numOutputs, 0)),
          maxFrames_(maxFrames) {
        inputs_.assign(ins_, std::vector<float>(maxFrames + kTail));
        outputs_.assign(outs_, std::vector<float>(maxFrames + kTail));
        inPtr_.assign(ins_ + 1, nullptr);
        outPtr_.assign(outs_ + 1, nullptr);
    }

    std::vector<float>& input(int channel) { return inputs_[channel]; }
    const std::vector<float>& output(int channel) const { return outputs_[channel]; }
    int numInputs() const { return ins_; }
    int numOutputs() const { return outs_; }

    // Runs one block. Inputs must already hold `frames` samples; the guard tails after them
    // (and after the outputs) must come back untouched. In place: each output channel is the
    // input buffer of the same channel (only channels both sides have).
    void run(int frames, bool inPlace = false) {
        for (auto& in : inputs_) std::fill(in.begin() + frames, in.end(), kTailValue);
        for (auto& out : outputs_) std::fill(out.begin(), out.end(), kTailValue);
        for (int i = 0; i < ins_; ++i) inPtr_[i] = inputs_[i].data();
        for (int o = 0; o < outs_; ++o) {
            outPtr_[o] = inPlace && o < ins_ ? inputs_[o].data() : outputs_[o].data();
        }
        if (inPlace) saved_ = inputs_;
        host_.effect().processReplacing(&host_.effect(), inPtr_.data(), outPtr_.data(), frames);
        for (int i = 0; i < ins_; ++i) checkTail(inputs_[i], frames, "input", i);
        for (int o = 0; o < outs_; ++o) {
            if (!(inPlace && o < ins_)) checkTail(outputs_[o], frames, "output", o);
        }
        if (inPlace) {
            // Results are read from the shared buffers; the originals were kept in saved_.
            for (int o = 0; o < outs_ && o < ins_; ++o) {
                std::copy(inputs_[o].begin(), inputs_[o].begin() + frames, outputs_[o].begin());
            }
            inputs_.swap(saved_);
        }
    }

    // Every output channel equals its input channel, bit for bit.
    void expectPassThrough(int frames, const std::string& what) const {
        for (int c = 0; c < std::min(ins_, outs_); ++c) {
            if (frames > 0 && std::memcmp(inputs_[c].data(), outputs_[c].data(),
                                          sizeof(float) * static_cast<size_t>(frames)) != 0) {
                int k = 0;
                while (std::memcmp(&inputs_[c][k], &outputs_[c][k], sizeof(float)) == 0) ++k;
                fail(what + ": channel " + std::to_string(c) + " frame " + std::to_string(k) +
                     " is not passed through bit for bit");
            }
        }
    }

    void expectFinite(int frames, const std::string& what) const {
        for (int c = 0; c < outs_; ++c) {
            for (int k = 0; k < frames; ++k) {
                if (!std::isfinite(outputs_[c][k])) {
                    fail(what + ": output channel " + std::to_string(c) + " frame " +
                         std::to_string(k) + " is not finite");
                }
            }
        }
    }

    int maxFrames() const { return maxFrames_; }

  private:
    static constexpr int kTail = 64;
    static constexpr float kTailValue = -12345.678f;

    void checkTail(const std::vector<float>& buffer, int frames, const char* side, int channel) {
        const size_t from = static_cast<size_t>(std::max(frames, 0));
        for (size_t k = from; k < buffer.size(); ++k) {
            if (buffer[k] != kTailValue) {
                fail(std::string("block of ") + std::to_string(frames) + " frames: " + side +
                     " channel " + std::to_string(channel) + " written at frame " +
                     std::to_string(k) + ", past the end of the block");
            }
        }
    }

    PluginHost& host_;
    int ins_, outs_, maxFrames_;
    std::vector<std::vector<float>> inputs_, outputs_, saved_;
    std::vector<float*> inPtr_, outPtr_;
};

// Fills every input channel with a signal; `kind` picks it.
enum class Signal { Silence, FullScale, Noise, NaN, PosInf, NegInf, Denormal, NegZero, Mixed };

const char* signalName(Signal s) {
    switch (s) {
        case Signal::Silence:
            return "silence";
        case Signal::FullScale:
            return "full scale";
        case Signal::Noise:
            return "noise";
        case Signal::NaN:
            return "NaN";
        case Signal::PosInf:
            return "+infinity";
        case Signal::NegInf:
            return "-infinity";
        case Signal::Denormal:
            return "denormals";
        case Signal::NegZero:
            return "-0.0";
        case Signal::Mixed:
            return "mixed specials";
    }
    return "?";
}

void fillSignal(AudioRig& rig, Signal kind, int frames, std::mt19937_64& random) {
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    const float specials[] = {std::numeric_limits<float>::quiet_NaN(),
                              std::numeric_limits<float>::infinity(),
                              -std::numeric_limits<float>::infinity(),
                              std::numeric_limits<float>::denorm_min(),
                              -0.0f,
                              1.0f,
                              -1.0f,
                              std::numeric_limits<float>::max()};
    for (int c = 0; c < rig.numInputs(); ++c) {
        auto& in = rig.input(c);
        for (int k = 0; k < frames; ++k) {
            float v = 0.0f;
            switch (kind) {
                case Signal::Silence:
                    v = 0.0f;
                    break;
                case Signal::FullScale:
                    v = (k / 50) % 2 == 0 ? 1.0f : -1.0f;
                    break;
                case Signal::Noise:
                    v = noise(random);
                    break;
                case Signal::NaN:
                    v = std::numeric_limits<float>::quiet_NaN();
                    break;
                case Signal::PosInf:
                    v = std::numeric_limits<float>::infinity();
                    break;
                case Signal::NegInf:
                    v = -std::numeric_limits<float>::infinity();
                    break;
                case Signal::Denormal:
                    v = std::numeric_limits<float>::denorm_min() * static_cast<float>(k % 100);
                    break;
                case Signal::NegZero:
                    v = -0.0f;
                    break;
                case Signal::Mixed:
                    v = specials[random() % std::size(specials)];
                    break;
            }
            in[k] = v;
        }
    }
}

// ---- Editor parent windows through the platform library ----

const PlatformApi& platform() {
    std::string problem;
    const PlatformApi* api = findPlatformApi(&problem);
    if (api == nullptr) throw CheckSkipped{problem};
    return *api;
}

int liveObjects() {
    using CountProc = int (*)();
    auto count = reinterpret_cast<CountProc>(::dlsym(RTLD_DEFAULT, "cqpLiveObjectCount"));
    return count != nullptr ? count() : -1;
}

struct EditorSize {
    int width = 0, height = 0;
};

EditorSize editorSize(PluginHost& host) {
    ERect* rect = nullptr;
    const VstIntPtr answer = host.dispatch(effEditGetRect, 0, 0, &rect);
    if (answer != 1 || rect == nullptr) fail("the editor-rectangle opcode gives no rectangle");
    const int width = rect->right - rect->left, height = rect->bottom - rect->top;
    if (width <= 0 || height <= 0 || width > 8192 || height > 8192) {
        fail("the editor rectangle " + std::to_string(width) + " x " + std::to_string(height) +
             " is not a window size");
    }
    return {width, height};
}

// An open editor in a parent window of its own; closed and its parent destroyed at the end.
class OpenEditor {
  public:
    explicit OpenEditor(PluginHost& host) : host_(host), api_(platform()) {
        size_ = editorSize(host);
        window_ = api_.createHostWindow(size_.width, size_.height);
        if (window_ == nullptr) fail("cannot create a parent window for the editor");
        if (host_.dispatch(effEditOpen, 0, 0, window_) != 1) {
            api_.destroyWindow(window_);
            fail("the editor-open opcode does not answer 1");
        }
    }
    ~OpenEditor() {
        host_.dispatch(effEditClose);
        api_.destroyWindow(window_);
    }
    OpenEditor(const OpenEditor&) = delete;
    OpenEditor& operator=(const OpenEditor&) = delete;

    void idle(int times = 1) {
        for (int i = 0; i < times; ++i) {
            host_.dispatch(effEditIdle);
            api_.pumpMessages(window_);
        }
    }
    void click(int x, int y) { api_.click(window_, x, y); }
    // Moves the platform's manual clock on (see checkHold), so that clicks are apart.
    void wait(unsigned milliseconds) { api_.advanceClock(milliseconds); }
    std::vector<DWORD> pixels() {
        std::vector<DWORD> picture(static_cast<size_t>(size_.width) * size_.height);
        if (!api_.readWindowPixels(window_, picture.data(), size_.width, size_.height)) {
            fail("cannot read the editor's pixels");
        }
        return picture;
    }
    EditorSize size() const { return size_; }

  private:
    PluginHost& host_;
    const PlatformApi& api_;
    EditorSize size_;
    HWND window_ = nullptr;
};

// ---- The checks ----

struct Check {
    const char* name;
    std::function<std::string(const Subject&)> run;  // answers the pass detail
};

std::unique_ptr<PluginHost> load(const Subject& subject) {
    return std::make_unique<PluginHost>(subject.path);
}

void requireAudio(const Subject& subject) {
    if (!subject.canReplace) throw CheckSkipped{"the effect does not process replacing"};
}

std::string checkLoad(const Subject& subject) {
    auto host = load(subject);
    AEffect& effect = host->effect();
    if (effect.numInputs < 0 || effect.numInputs > 256 || effect.numOutputs < 0 ||
        effect.numOutputs > 256) {
        fail("channel counts " + std::to_string(effect.numInputs) + " in, " +
             std::to_string(effect.numOutputs) + " out are not plausible");
    }
    if ((effect.flags & effFlagsCanReplacing) && effect.processReplacing == nullptr) {
        fail("the record claims replacing processing but its entry is null");
    }
    if (effect.numParams < 0 || effect.numPrograms < 0) fail("negative parameter or program count");
    if (subject.analyser) {
        if (effect.numInputs != 2 || effect.numOutputs != 2 || effect.flags != 0x11) {
            fail("the analyser's record is not 2 in, 2 out, flags 0x11");
        }
        if (host->dispatch(effIdentify) != 0x4E764566) fail("identify does not answer 'NvEf'");
        if (host->dispatch(effGetVstVersion) != 2400) fail("VST version is not 2400");
    }
    std::ostringstream detail;
    detail << "entry " << host->entryName() << ", id '" << fourChars(effect.uniqueID) << "', "
           << effect.numInputs << " in, " << effect.numOutputs << " out, flags "
           << hex(effect.flags) << ", " << effect.numParams << " parameters";
    return detail.str();
}

// Processes a few blocks of noise and, for the analyser, checks the pass-through.
void exercise(PluginHost& host, const Subject& subject, std::mt19937_64& random,
              const std::string& what) {
    if (!subject.canReplace) return;
    AudioRig rig(host, 256);
    for (int block = 0; block < 3; ++block) {
        fillSignal(rig, Signal::Noise, 256, random);
        rig.run(256);
        if (subject.analyser) rig.expectPassThrough(256, what);
    }
}

std::string checkCycles(const Subject& subject) {
    const int cycles = 20 * subject.strictness;
    std::mt19937_64 random(subject.seed);
    for (int i = 0; i < cycles; ++i) {
        auto host = load(subject);
        if (i % 2 == 1) {
            host->start(44100.0, 256);
            exercise(*host, subject, random, "cycle " + std::to_string(i));
        }
    }
    return std::to_string(cycles) + " instantiations and closes, every other one processing";
}

std::string checkOrders(const Subject& subject) {
    std::mt19937_64 random(subject.seed);
    struct Variant {
        const char* name;
        std::function<void(PluginHost&)> steps;
    };
    const std::vector<Variant> variants = {
        {"close at once", [](PluginHost&) {}},
        {"open, close", [](PluginHost& h) { h.dispatch(effOpen); }},
        {"open twice", [](PluginHost& h) { h.dispatch(effOpen), h.dispatch(effOpen); }},
        {"switched on without open",
         [&](PluginHost& h) {
             h.dispatch(effMainsChanged, 0, 1);
             exercise(h, subject, random, "switched on without open");
             h.dispatch(effMainsChanged, 0, 0);
         }},
        {"closed while switched on",
         [&](PluginHost& h) {
             h.dispatch(effOpen);
             h.dispatch(effMainsChanged, 0, 1);
             exercise(h, subject, random, "closed while switched on");
         }},
        {"suspend and resume twice each",
         [&](PluginHost& h) {
             h.dispatch(effOpen);
             h.dispatch(effMainsChanged, 0, 0);
             h.dispatch(effMainsChanged, 0, 0);
             h.dispatch(effMainsChanged, 0, 1);
             h.dispatch(effMainsChanged, 0, 1);
             exercise(h, subject, random, "resumed twice");
         }},
        {"rate and block size while switched on",
         [&](PluginHost& h) {
             h.start(44100.0, 256);
             h.dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
             h.dispatch(effSetBlockSize, 0, 512);
             exercise(h, subject, random, "rate changed while on");
         }},
        {"start and stop process without switching on",
         [](PluginHost& h) {
             h.dispatch(effStartProcess);
             h.dispatch(effStopProcess);
         }},
    };
    for (const auto& variant : variants) {
        try {
            auto host = load(subject);
            variant.steps(*host);
        } catch (const CheckFailure& failure) {
            fail(std::string(variant.name) + ": " + failure.reason);
        }
    }
    return std::to_string(variants.size()) + " open, switch and close orders";
}

std::string checkInstances(const Subject& subject) {
    requireAudio(subject);
    const int count = subject.strictness >= 5 ? 4 : 2;
    std::vector<std::unique_ptr<PluginHost>> hosts;
    std::vector<std::unique_ptr<AudioRig>> rigs;
    std::mt19937_64 random(subject.seed);
    for (int i = 0; i < count; ++i) {
        hosts.push_back(load(subject));
        hosts.back()->start(44100.0, 512);
        rigs.push_back(std::make_unique<AudioRig>(*hosts.back(), 512));
    }
    // Interleaved blocks of different signals; each output must follow its own input.
    for (int block = 0; block < 8; ++block) {
        for (int i = 0; i < count; ++i) {
            fillSignal(*rigs[i], i % 2 == 0 ? Signal::Noise : Signal::FullScale, 512, random);
            rigs[i]->run(512);
            if (subject.analyser) {
                rigs[i]->expectPassThrough(512, "instance " + std::to_string(i));
            }
        }
    }
    // Closed in another order than they were made.
    rigs.clear();
    std::swap(hosts.front(), hosts.back());
    hosts.clear();
    return std::to_string(count) +
           " instances at once, processing interleaved, closed out of order";
}

// The opcodes this host knows a meaning for (the ones the interface header names).
bool isNamed(VstInt32 opcode) {
    switch (opcode) {
        case effOpen:
        case effClose:
        case effSetProgram:
        case effGetProgram:
        case effSetProgramName:
        case effGetProgramName:
        case effGetParamLabel:
        case effGetParamDisplay:
        case effGetParamName:
        case effSetSampleRate:
        case effSetBlockSize:
        case effMainsChanged:
        case effEditGetRect:
        case effEditOpen:
        case effEditClose:
        case effEditIdle:
        case effIdentify:
        case effGetChunk:
        case effSetChunk:
        case effProcessEvents:
        case effCanBeAutomated:
        case effString2Parameter:
        case effGetProgramNameIndexed:
        case effGetInputProperties:
        case effGetOutputProperties:
        case effGetPlugCategory:
        case effOfflineNotify:
        case effOfflinePrepare:
        case effOfflineRun:
        case effProcessVarIo:
        case effSetSpeakerArrangement:
        case effSetBypass:
        case effGetEffectName:
        case effGetVendorString:
        case effGetProductString:
        case effGetVendorVersion:
        case effVendorSpecific:
        case effCanDo:
        case effGetTailSize:
        case effGetParameterProperties:
        case effGetVstVersion:
        case effEditKeyDown:
        case effEditKeyUp:
        case effSetEditKnobMode:
        case effGetMidiProgramName:
        case effGetCurrentMidiProgram:
        case effGetMidiProgramCategory:
        case effHasMidiProgramsChanged:
        case effGetMidiKeyName:
        case effBeginSetProgram:
        case effEndSetProgram:
        case effGetSpeakerArrangement:
        case effShellGetNextPlugin:
        case effStartProcess:
        case effStopProcess:
        case effSetTotalSampleToProcess:
        case effSetPanLaw:
        case effBeginLoadBank:
        case effBeginLoadProgram:
        case effSetProcessPrecision:
        case effGetNumMidiInputChannels:
        case effGetNumMidiOutputChannels:
            return true;
        default:
            return false;
    }
}

// Dispatches with a text buffer full of guard bytes and checks what came back.
void checkText(PluginHost& host, VstInt32 opcode, VstInt32 index, VstIntPtr value,
               std::vector<std::string>& notes) {
    std::vector<unsigned char> buffer(kTextBuffer, kGuard);
    host.dispatch(opcode, index, value, buffer.data());
    const std::string where =
        "opcode " + std::to_string(opcode) + " index " + std::to_string(index);
    if (std::all_of(buffer.begin(), buffer.end(), [](unsigned char b) { return b == kGuard; })) {
        return;  // untouched: the effect has no such text
    }
    const auto terminator = std::find(buffer.begin(), buffer.end(), 0);
    const size_t length = static_cast<size_t>(terminator - buffer.begin());
    if (terminator == buffer.end() || length >= kHostTextLimit) {
        fail(where + ": text not terminated within the " + std::to_string(kHostTextLimit) +
             " bytes hosts give");
    }
    // Zero padding inside the host's 64 bytes is harmless; anything else after the
    // terminator, and anything at all past the 64 bytes, is a write the host did not allow.
    for (size_t k = length + 1; k < buffer.size(); ++k) {
        const bool allowed = buffer[k] == kGuard || (k < kHostTextLimit && buffer[k] == 0);
        if (!allowed) {
            fail(where + ": byte " + std::to_string(k) + " written past the terminator at " +
                 std::to_string(length));
        }
    }
    if (length > 31 && notes.size() < 3) {
        notes.push_back(where + " text has " + std::to_string(length) + " characters");
    }
}

std::string checkOpcodes(const Subject& subject) {
    auto host = load(subject);
    std::vector<std::string> notes;
    const int params = std::min(subject.numParams, 64);
    std::vector<unsigned char> block(kSafeBlock, 0), second(kSafeBlock, 0);
    int sent = 0;
    int unnamedSkipped = 0;
    for (VstInt32 opcode = -5; opcode <= 130; ++opcode) {
        std::fill(block.begin(), block.end(), 0);
        std::fill(second.begin(), second.end(), 0);
        step("opcode " + std::to_string(opcode));
        switch (opcode) {
            case effClose:  // last, below
            case effEditOpen:
            case effEditClose:
            case effEditIdle:  // the editor checks drive these with a parent window
                continue;
            case effGetProgramName:
            case effGetEffectName:
            case effGetVendorString:
            case effGetProductString:
                checkText(*host, opcode, 0, 0, notes);
                break;
            case effGetParamLabel:
            case effGetParamDisplay:
            case effGetParamName:
                for (int p = 0; p < params; ++p) checkText(*host, opcode, p, 0, notes);
                break;
            case effGetProgramNameIndexed:
                for (int p = 0; p < std::min(subject.numPrograms, 64); ++p) {
                    checkText(*host, opcode, p, 0, notes);
                }
                break;
            case effShellGetNextPlugin:
                checkText(*host, opcode, 0, 0, notes);
                break;
            case effSetProgram:
                host->dispatch(opcode, 0, 0);
                break;
            case effSetProgramName: {
                char name[kHostTextLimit] = "validated";
                host->dispatch(opcode, 0, 0, name);
                break;
            }
            case effSetSampleRate:
                host->dispatch(opcode, 0, 0, nullptr, 44100.0f);
                break;
            case effSetBlockSize:
                host->dispatch(opcode, 0, 512);
                break;
            case effMainsChanged:
                host->dispatch(opcode, 0, 1);
                host->dispatch(opcode, 0, 0);
                break;
            case effEditGetRect: {
                ERect* rect = nullptr;
                const VstIntPtr answer = host->dispatch(opcode, 0, 0, &rect);
                if (answer != 0 && rect == nullptr) fail("get-rect answers 1 with no rectangle");
                break;
            }
            case effGetChunk: {
                void* data = nullptr;
                const VstIntPtr size = host->dispatch(opcode, 0, 0, &data);
                if (size > 0 && data == nullptr) fail("get-chunk gives a size but no data");
                break;
            }
            case effSetChunk:
                // What hosts do: give back what get-chunk gave, bank and program, and only
                // to effects that keep their state in chunks.
                if (subject.programChunks) {
                    for (VstInt32 program : {0, 1}) {
                        void* data = nullptr;
                        const VstIntPtr size = host->dispatch(effGetChunk, program, 0, &data);
                        if (size <= 0 || data == nullptr) continue;
                        std::vector<unsigned char> copy(
                            static_cast<const unsigned char*>(data),
                            static_cast<const unsigned char*>(data) + size);
                        host->dispatch(opcode, program, size, copy.data());
                    }
                } else if (subject.analyser) {
                    host->dispatch(opcode, 0, 0, block.data());
                }
                break;
            case effProcessEvents: {
                VstIntPtr empty[4] = {0, 0, 0, 0};
                host->dispatch(opcode, 0, 0, empty);
                break;
            }
            case effSetSpeakerArrangement: {
                VstSpeakerArrangement in{}, out{};
                in.type = out.type = 1;
                in.numChannels = std::max(subject.numInputs, 0) > 8 ? 8 : subject.numInputs;
                out.numChannels = subject.numOutputs > 8 ? 8 : subject.numOutputs;
                host->dispatch(opcode, 0, reinterpret_cast<VstIntPtr>(&in), &out);
                break;
            }
            case effGetSpeakerArrangement: {
                VstSpeakerArrangement* in = nullptr;
                VstSpeakerArrangement* out = nullptr;
                host->dispatch(opcode, 0, reinterpret_cast<VstIntPtr>(&in), &out);
                if (subject.analyser) {
                    if (in != nullptr || out != nullptr) fail("speaker arrangement not null");
                    host->dispatch(opcode, 0, 0, nullptr);  // null addresses are skipped
                }
                break;
            }
            case effCanDo: {
                for (const char* text : {"receiveVstMidiEvent", "sendVstMidiEvent", "bypass", "",
                                         "ReceiveVstMidiEvent"}) {
                    char copy[kHostTextLimit];
                    std::snprintf(copy, sizeof copy, "%s", text);
                    const VstIntPtr answer = host->dispatch(opcode, 0, 0, copy);
                    if (answer < -1 || answer > 1) {
                        fail("can-do '" + std::string(text) + "' answers " +
                             std::to_string(answer));
                    }
                }
                break;
            }
            case effEditKeyDown:
            case effEditKeyUp:
                host->dispatch(opcode, 'a', 0, nullptr, 0.0f);
                break;
            case effSetTotalSampleToProcess:
                host->dispatch(opcode, 0, 44100);
                break;
            case effSetPanLaw:
                host->dispatch(opcode, 0, 0, nullptr, 1.0f);
                break;
            case effSetProcessPrecision:
                host->dispatch(opcode, 0, 0);
                break;
            case effGetParameterProperties:
                if (params > 0) host->dispatch(opcode, 0, 0, block.data());
                break;
            case effGetInputProperties:
                if (subject.numInputs > 0) host->dispatch(opcode, 0, 0, block.data());
                break;
            case effGetOutputProperties:
                if (subject.numOutputs > 0) host->dispatch(opcode, 0, 0, block.data());
                break;
            case effOfflineNotify:
            case effOfflinePrepare:
            case effOfflineRun:
                host->dispatch(opcode, 0, 0, block.data());  // a count of 0
                break;
            default:
                if (!isNamed(opcode) && !subject.analyser) {
                    // An opcode the interface gives no meaning may still mean something to
                    // another effect (an old, retired use with its own arguments), so no
                    // argument is safe for it: not sent. (The LSP effects, for one, free
                    // memory twice on opcode 43 whatever they are given.)
                    ++unnamedSkipped;
                    continue;
                }
                // Index 0, and both value and ptr the address of a zeroed block, which is safe
                // whether the effect takes either as a record, as a text buffer or as the
                // address of a pointer to fill.
                host->dispatch(opcode, 0, reinterpret_cast<VstIntPtr>(second.data()), block.data());
                break;
        }
        ++sent;
        if (std::any_of(block.begin() + kSafeBlock / 2, block.end(),
                        [](unsigned char b) { return b != 0; })) {
            fail("opcode " + std::to_string(opcode) + " wrote beyond 8 KiB of the host's block");
        }
    }
    if (subject.analyser) {
        if (host->dispatch(effCanDo, 0, 0, const_cast<char*>("receiveVstMidiEvent")) != 1) {
            fail("the analyser does not receive MIDI");
        }
        if (host->dispatch(effGetCurrentMidiProgram) != -1) fail("MIDI program is not -1");
        if (host->dispatch(effSetTotalSampleToProcess, 0, -7) != -7) {
            fail("total samples is not echoed");
        }
        if (host->dispatch(130) != 0 || host->dispatch(-5) != 0) fail("unknown opcodes answer");
    }
    // Still alive and processing after all of it.
    std::mt19937_64 random(subject.seed);
    host->start(44100.0, 256);
    exercise(*host, subject, random, "after the opcode sweep");
    std::string detail = std::to_string(sent) + " opcodes from -5 to 130, text guards intact";
    if (unnamedSkipped > 0) {
        detail += " (" + std::to_string(unnamedSkipped) +
                  " without a meaning in the interface not sent to a third-party effect)";
    }
    for (const auto& note : notes) detail += "; note: " + note;
    return detail;
}

std::string checkRatesAndBlocks(const Subject& subject) {
    requireAudio(subject);
    std::vector<double> rates;
    if (subject.strictness <= 3) {
        rates = {44100.0, 48000.0};
    } else if (subject.strictness <= 6) {
        rates = {8000.0, 44100.0, 96000.0, 192000.0};
    } else {
        rates = {8000.0,  11025.0, 16000.0, 22050.0,  32000.0, 44100.0,
                 48000.0, 88200.0, 96000.0, 176400.0, 192000.0};
    }
    const int blocks[] = {0, 1, 7, 64, 4096, 65536};
    auto host = load(subject);
    AudioRig rig(*host, 65536);
    std::mt19937_64 random(subject.seed);
    for (double rate : rates) {
        for (int frames : blocks) {
            // Through the host's own start and stop, so that its answers to the effect's
            // sample-rate and block-size questions match what it was told.
            host->stop();
            host->start(rate, std::max(frames, 1));
            fillSignal(rig, Signal::Noise, frames, random);
            const std::string what = std::to_string(static_cast<int>(rate)) + " Hz, " +
                                     std::to_string(frames) + " frames";
            step(what);
            rig.run(frames);
            if (subject.analyser) rig.expectPassThrough(frames, what);
        }
    }
    host->stop();
    return std::to_string(rates.size()) + " rates from " + std::to_string(int(rates.front())) +
           " to " + std::to_string(int(rates.back())) +
           " Hz, blocks 0 to 65536, suspend and resume around each change";
}

std::string checkSignals(const Subject& subject) {
    requireAudio(subject);
    auto host = load(subject);
    host->start(44100.0, 1024);
    AudioRig rig(*host, 1024);
    std::mt19937_64 random(subject.seed);
    // Silence first: any effect must answer silence with finite samples.
    fillSignal(rig, Signal::Silence, 1024, random);
    rig.run(1024);
    rig.expectFinite(1024, "silence");
    const Signal kinds[] = {Signal::Silence,  Signal::FullScale, Signal::Noise,
                            Signal::NaN,      Signal::PosInf,    Signal::NegInf,
                            Signal::Denormal, Signal::NegZero,   Signal::Mixed};
    const int rounds = std::max(1, subject.strictness / 3);
    for (int round = 0; round < rounds; ++round) {
        for (Signal kind : kinds) {
            for (bool inPlace : {false, true}) {
                fillSignal(rig, kind, 1024, random);
                rig.run(1024, inPlace);
                if (subject.analyser) {
                    rig.expectPassThrough(1024, std::string(signalName(kind)) +
                                                    (inPlace ? ", in place" : ", separate"));
                }
            }
        }
    }
    return std::string("silence, full scale, noise, NaN, infinities, denormals, -0.0, mixed; ") +
           "in place and separate" + (subject.analyser ? "; bit-exact pass-through" : "");
}

std::string checkMidi(const Subject& subject) {
    requireAudio(subject);
    if (!subject.receivesMidi) throw CheckSkipped{"the effect does not receive MIDI"};
    auto host = load(subject);
    host->start(44100.0, 512);
    AudioRig rig(*host, 512);
    std::mt19937_64 random(subject.seed);
    EventList events;
    auto deliver = [&](const std::string& what) {
        host->dispatch(effProcessEvents, 0, 0, events.build());
        fillSignal(rig, Signal::Noise, 512, random);
        rig.run(512);
        if (subject.analyser) rig.expectPassThrough(512, what);
        events.clear();
    };
    // Floods of 10,000 events in one block, note-ons and offs with system-exclusive events
    // in between.
    const int floods = std::max(1, subject.strictness / 2);
    for (int f = 0; f < floods; ++f) {
        for (int e = 0; e < 10000; ++e) {
            if (e % 97 == 0) {
                events.addOther(kVstSysExType, static_cast<int>(random() % 512));
            } else {
                events.addMidi(static_cast<unsigned char>(random() % 2 ? 0x90 : 0x80) |
                                   static_cast<unsigned char>(random() % 16),
                               static_cast<unsigned char>(random() % 128),
                               static_cast<unsigned char>(random() % 128),
                               static_cast<int>(random() % 512));
            }
        }
        deliver("flood " + std::to_string(f));
    }
    // Every status byte with every note byte: 65,536 events, 4,096 to a block.
    for (int status = 0; status < 256; ++status) {
        for (int note = 0; note < 256; ++note) {
            events.addMidi(static_cast<unsigned char>(status), static_cast<unsigned char>(note),
                           static_cast<unsigned char>(random() % 256), note % 512);
        }
        if (status % 16 == 15) deliver("status bytes up to " + hex(status));
    }
    // Every note off again, so the effect ends clean.
    for (int note = 0; note < 128; ++note) events.addMidi(0x80, note, 0, 0);
    deliver("all notes off");
    if (subject.analyser) {
        // Lists the analyser accepts beyond what hosts promise: a null list, an empty and a
        // negative count, a null event pointer.
        host->dispatch(effProcessEvents, 0, 0, nullptr);
        VstIntPtr negative[4] = {-3, 0, 0, 0};
        host->dispatch(effProcessEvents, 0, 0, negative);
        VstIntPtr withNull[4] = {1, 0, 0, 0};
        host->dispatch(effProcessEvents, 0, 0, withNull);
        deliver("after null and negative lists");
    }
    return "floods: " + std::to_string(floods) + " of 10,000 events with system-exclusive ones, " +
           "every status and note byte" + (subject.analyser ? ", null and negative lists" : "");
}

void requireEditor(const Subject& subject) {
    if (!subject.platformEditor) {
        throw CheckSkipped{
            "no editor on the platform library (a native editor needs a real "
            "window system parent)"};
    }
}

std::string checkEditorCycles(const Subject& subject) {
    requireEditor(subject);
    auto host = load(subject);
    host->start(44100.0, 512);
    const EditorSize before = editorSize(*host);
    const int cycles = 10 * subject.strictness;
    int objectsAfterFirst = -1;
    for (int i = 0; i < cycles; ++i) {
        {
            OpenEditor editor(*host);
            editor.idle(3);
        }
        if (i == 0) objectsAfterFirst = liveObjects();
    }
    const EditorSize after = editorSize(*host);
    if (before.width != after.width || before.height != after.height) {
        fail("the editor's size changed over open and close");
    }
    const int objectsAtEnd = liveObjects();
    if (objectsAtEnd > objectsAfterFirst) {
        fail("platform objects grew from " + std::to_string(objectsAfterFirst) + " to " +
             std::to_string(objectsAtEnd) + " over " + std::to_string(cycles) + " cycles");
    }
    return std::to_string(cycles) + " opens and closes of a " + std::to_string(before.width) +
           " x " + std::to_string(before.height) + " editor; platform objects steady at " +
           std::to_string(objectsAtEnd);
}

std::string checkIdleStorm(const Subject& subject) {
    requireEditor(subject);
    auto host = load(subject);
    host->start(44100.0, 512);
    AudioRig rig(*host, 512);
    std::mt19937_64 random(subject.seed);
    OpenEditor editor(*host);
    const int idles = 500 * subject.strictness;
    for (int i = 0; i < idles; ++i) {
        editor.idle();
        if (i % 50 == 0) {
            fillSignal(rig, Signal::Noise, 512, random);
            rig.run(512);
        }
    }
    return std::to_string(idles) + " idle calls with audio in between";
}

std::string checkHold(const Subject& subject) {
    requireEditor(subject);
    if (!subject.analyser) throw CheckSkipped{"Hold is the analyser's own control"};
    // A manual clock, so that clicks are further apart than a double click whatever the
    // machine's speed.
    platform().setManualClock(TRUE, 1000);
    auto host = load(subject);
    host->start(44100.0, 512);
    OpenEditor editor(*host);
    editor.idle(2);
    auto holdArea = [&] {
        const auto picture = editor.pixels();
        std::vector<DWORD> area;
        for (int y = 0; y < 24; ++y) {
            for (int x = 910; x < 960; ++x) area.push_back(picture[y * editor.size().width + x]);
        }
        return area;
    };
    // A refresh tick first: before it the display has drawn nothing.
    editor.wait(200);
    editor.idle(2);
    const auto live = holdArea();
    const int clicks = 2 * subject.strictness;
    for (int i = 0; i < clicks; ++i) {
        editor.wait(1000);
        const auto before = holdArea();
        editor.click(kHoldX, kHoldY);
        editor.idle(2);
        const auto after = holdArea();
        const bool held = i % 2 == 0;
        if (after == before || (after == live) == held) {
            fail("click " + std::to_string(i + 1) + " did not " +
                 (held ? "show the held image" : "bring the live image back"));
        }
    }
    // Quick double clicks: each pair toggles at most twice and the editor survives.
    for (int i = 0; i < subject.strictness; ++i) {
        editor.wait(1000);
        editor.click(kHoldX, kHoldY);
        editor.wait(10);
        editor.click(kHoldX, kHoldY);
        editor.idle();
    }
    return std::to_string(clicks) + " Hold clicks, each switching the image";
}

// The audio thread: blocks of noise with MIDI through the effect until told to stop; any
// pass-through error is kept for the main thread.
class AudioThread {
  public:
    AudioThread(PluginHost& host, const Subject& subject)
        : rig_(host, 512), host_(host), subject_(subject), random_(subject.seed) {
        thread_ = std::thread([this] { loop(); });
    }
    ~AudioThread() { stop(); }
    void stop() {
        running_.store(false);
        if (thread_.joinable()) thread_.join();
    }
    long blocks() const { return blocks_.load(); }
    const std::string& error() const { return error_; }

  private:
    void loop() {
        EventList events;
        while (running_.load()) {
            // Prepared before the block, as a host does; the effect's work is what is timed.
            events.clear();
            for (int e = 0; e < 8; ++e) {
                events.addMidi(random_() % 2 ? 0x90 : 0x80, 36 + random_() % 60, 100, e * 60);
            }
            fillSignal(rig_, Signal::Noise, 512, random_);
            host_.dispatch(effProcessEvents, 0, 0, events.build());
            try {
                rig_.run(512);
                if (subject_.analyser) rig_.expectPassThrough(512, "audio thread");
            } catch (const CheckFailure& failure) {
                error_ = failure.reason;
                return;
            }
            blocks_.fetch_add(1);
        }
    }

    AudioRig rig_;
    PluginHost& host_;
    const Subject& subject_;
    std::mt19937_64 random_;
    std::atomic<bool> running_{true};
    std::atomic<long> blocks_{0};
    std::string error_;
    std::thread thread_;
};

std::string checkEditorWithAudioThread(const Subject& subject) {
    requireEditor(subject);
    auto host = load(subject);
    host->start(44100.0, 512);
    AudioThread audio(*host, subject);
    const int cycles = 5 * subject.strictness;
    for (int i = 0; i < cycles; ++i) {
        OpenEditor editor(*host);
        editor.idle(5);
        if (subject.analyser) editor.click(kHoldX, kHoldY);
        editor.idle(5);
    }
    // Then the editor open for a while: its timer recomputes while the audio runs.
    {
        OpenEditor editor(*host);
        const auto until =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(500 * subject.strictness);
        while (std::chrono::steady_clock::now() < until) {
            editor.idle();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    audio.stop();
    if (!audio.error().empty()) fail(audio.error());
    if (audio.blocks() == 0) fail("the audio thread ran no block");
    return std::to_string(cycles) + " editor opens and " +
           std::to_string(subject.strictness * 0.5).substr(0, 3) +
           " s open while the audio thread ran " + std::to_string(audio.blocks()) + " blocks";
}

std::string checkTwoEditors(const Subject& subject) {
    requireEditor(subject);
    auto first = load(subject);
    auto second = load(subject);
    first->start(44100.0, 512);
    second->start(44100.0, 512);
    auto editorA = std::make_unique<OpenEditor>(*first);
    auto editorB = std::make_unique<OpenEditor>(*second);
    std::mt19937_64 random(subject.seed);
    AudioRig rigA(*first, 512), rigB(*second, 512);
    for (int i = 0; i < 20 * subject.strictness; ++i) {
        fillSignal(rigA, Signal::Noise, 512, random);
        rigA.run(512);
        fillSignal(rigB, Signal::Silence, 512, random);
        rigB.run(512);
        editorA->idle();
        editorB->idle();
    }
    if (subject.analyser) {
        // Holding one display leaves the other live. The second display must have drawn its
        // Hold image first (its timer runs on the real clock, which may not have ticked yet on a
        // slow machine), so that a first paint is not taken for a change.
        const auto drewHoldImage = [&] {
            const auto picture = editorB->pixels();
            for (int y = 0; y < 24; ++y) {
                for (int x = 910; x < 960; ++x) {
                    if (picture[static_cast<size_t>(y) * editorB->size().width + x] != 0) {
                        return true;
                    }
                }
            }
            return false;
        };
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!drewHoldImage()) {
            if (std::chrono::steady_clock::now() > deadline) fail("the second editor never drew");
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            editorB->idle();
        }
        const auto before = editorB->pixels();
        editorA->click(kHoldX, kHoldY);
        editorA->idle(2);
        editorB->idle(2);
        const auto after = editorB->pixels();
        for (int y = 0; y < 24; ++y) {
            for (int x = 910; x < 960; ++x) {
                const size_t at = static_cast<size_t>(y) * editorB->size().width + x;
                if (before[at] != after[at]) fail("Hold in one editor changed the other");
            }
        }
    }
    // One closed while the other goes on.
    editorA.reset();
    for (int i = 0; i < 10; ++i) editorB->idle();
    editorB.reset();
    return "two editors open at once, idled together, closed one after the other";
}

// ---- Running checks in child processes ----

struct Outcome {
    char status = 'F';  // 'P', 'F' or 'S'
    std::string text;
};

Outcome runHere(const Check& check, const Subject& subject) {
    try {
        return {'P', check.run(subject)};
    } catch (const CheckFailure& failure) {
        return {'F', failure.reason};
    } catch (const CheckSkipped& skipped) {
        return {'S', skipped.reason};
    } catch (const HostError& error) {
        return {'F', error.what()};
    } catch (const std::exception& error) {
        return {'F', std::string("exception: ") + error.what()};
    }
}

Outcome runInChild(const Check& check, const Subject& subject) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) return {'F', "cannot create a pipe"};
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        return {'F', "cannot start a child process"};
    }
    if (child == 0) {
        ::close(pipeEnds[0]);
        progressPipe = pipeEnds[1];
        const Outcome outcome = runHere(check, subject);
        std::string message(1, outcome.status);
        message += outcome.text;
        size_t done = 0;
        while (done < message.size()) {
            const ssize_t n = ::write(pipeEnds[1], message.data() + done, message.size() - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        ::close(pipeEnds[1]);
        // A normal exit, so that leak checkers of sanitizer builds look at the child too.
        std::exit(0);
    }
    ::close(pipeEnds[1]);
    std::string message;
    char chunk[4096];
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(subject.timeoutSeconds);
    bool timedOut = false;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            timedOut = true;
            break;
        }
        pollfd waiting{pipeEnds[0], POLLIN, 0};
        const int ready = ::poll(&waiting, 1, static_cast<int>(std::min<long long>(left, 1000)));
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0) continue;
        const ssize_t n = ::read(pipeEnds[0], chunk, sizeof chunk);
        if (n <= 0) break;
        message.append(chunk, static_cast<size_t>(n));
    }
    ::close(pipeEnds[0]);
    if (timedOut) ::kill(child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    // Progress lines ("~step\n") come first; the result, if any, is what follows the last.
    std::string lastStep;
    while (!message.empty() && message[0] == '~') {
        const size_t end = message.find('\n');
        if (end == std::string::npos) break;
        lastStep = message.substr(1, end - 1);
        message.erase(0, end + 1);
    }
    const std::string during = lastStep.empty() ? "" : " during " + lastStep;
    if (timedOut) {
        return {'F', "did not finish within " + std::to_string(subject.timeoutSeconds) +
                         " s (killed)" + during};
    }
    if (WIFSIGNALED(status)) {
        const int number = WTERMSIG(status);
        return {'F', "the plug-in crashed: signal " + std::to_string(number) + " (" +
                         ::strsignal(number) + ")" + during};
    }
    if (message.empty()) {
        return {'F', "the check ended without a result (exit status " +
                         std::to_string(WEXITSTATUS(status)) + ")" + during};
    }
    Outcome outcome{message[0], message.substr(1)};
    if (WEXITSTATUS(status) != 0 && outcome.status != 'F') {
        // A sanitizer report or an abort at exit: the check itself went through.
        return {'F', "exit status " + std::to_string(WEXITSTATUS(status)) +
                         " after the check (a sanitizer report on stderr?): " + outcome.text};
    }
    return outcome;
}

// Learns what the later checks need: channel counts, whether it takes MIDI, its editor.
std::string describe(Subject& subject, bool forceAnalyser) {
    auto host = load(subject);
    AEffect& effect = host->effect();
    subject.analyser = forceAnalyser || effect.uniqueID == kAnalyserId;
    subject.canReplace = (effect.flags & effFlagsCanReplacing) && effect.processReplacing;
    subject.programChunks = (effect.flags & effFlagsProgramChunks) != 0;
    subject.numInputs = effect.numInputs;
    subject.numOutputs = effect.numOutputs;
    subject.numParams = effect.numParams;
    subject.numPrograms = effect.numPrograms;
    subject.receivesMidi =
        host->dispatch(effCanDo, 0, 0, const_cast<char*>("receiveVstMidiEvent")) == 1 ||
        (effect.flags & effFlagsIsSynth);
    // Editors are driven only where they draw through the platform library: the analyser's.
    subject.platformEditor = (effect.flags & effFlagsHasEditor) && subject.analyser;
    std::ostringstream text;
    text << (subject.analyser ? "A" : "-") << (subject.canReplace ? "R" : "-")
         << (subject.receivesMidi ? "M" : "-") << (subject.platformEditor ? "E" : "-")
         << (subject.programChunks ? "C" : "-") << ' ' << subject.numInputs << ' '
         << subject.numOutputs << ' ' << subject.numParams << ' ' << subject.numPrograms;
    return text.str();
}

bool parseDescription(const std::string& text, Subject& subject) {
    if (text.size() < 6) return false;
    subject.analyser = text[0] == 'A';
    subject.canReplace = text[1] == 'R';
    subject.receivesMidi = text[2] == 'M';
    subject.platformEditor = text[3] == 'E';
    subject.programChunks = text[4] == 'C';
    std::istringstream numbers(text.substr(6));
    numbers >> subject.numInputs >> subject.numOutputs >> subject.numParams >> subject.numPrograms;
    return static_cast<bool>(numbers);
}

}  // namespace

int runValidate(const ValidateOptions& options) {
    if (options.strictness < 1 || options.strictness > 10) {
        throw HostError("--strictness must be 1 to 10");
    }
    Subject subject;
    subject.path = options.plugin;
    subject.strictness = options.strictness;
    subject.seed = options.seed;
    subject.timeoutSeconds = options.timeoutSeconds;
    const auto started = std::chrono::steady_clock::now();

    std::printf("validating %s (strictness %d, seed %llu)\n", options.plugin.c_str(),
                options.strictness, static_cast<unsigned long long>(options.seed));
    const bool forceAnalyser = options.analyser;
    const Check describeCheck{"describe", [&subject, forceAnalyser](const Subject&) {
                                  return describe(subject, forceAnalyser);
                              }};
    const Outcome described =
        options.inProcess ? runHere(describeCheck, subject) : runInChild(describeCheck, subject);
    if (described.status != 'P' || !parseDescription(described.text, subject)) {
        std::printf("FAIL  %-24s %s\n", "load", described.text.c_str());
        std::printf("summary: the plug-in could not be loaded; no further checks\n");
        return 1;
    }

    const std::vector<Check> checks = {
        {"load", checkLoad},
        {"instantiate-cycles", checkCycles},
        {"lifecycle-orders", checkOrders},
        {"instances-at-once", checkInstances},
        {"opcodes", checkOpcodes},
        {"rates-and-blocks", checkRatesAndBlocks},
        {"hostile-samples", checkSignals},
        {"midi-floods", checkMidi},
        {"editor-cycles", checkEditorCycles},
        {"editor-idle-storm", checkIdleStorm},
        {"editor-hold", checkHold},
        {"editor-with-audio-thread", checkEditorWithAudioThread},
        {"two-editors", checkTwoEditors},
    };
    int passed = 0, failed = 0, skipped = 0;
    for (const auto& check : checks) {
        const auto begun = std::chrono::steady_clock::now();
        const Outcome outcome =
            options.inProcess ? runHere(check, subject) : runInChild(check, subject);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
        const char* label = outcome.status == 'P'   ? "PASS"
                            : outcome.status == 'S' ? "SKIP"
                                                    : "FAIL";
        (outcome.status == 'P' ? passed : outcome.status == 'S' ? skipped : failed)++;
        std::printf("%s  %-24s %s (%.1f s)\n", label, check.name, outcome.text.c_str(), seconds);
        std::fflush(stdout);
    }
    const double total =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("summary: %d passed, %d failed, %d skipped in %.1f s%s\n", passed, failed, skipped,
                total, failed > 0 ? " (rerun with the same --seed to repeat)" : "");
    return failed > 0 ? 1 : 0;
}

}  // namespace cqhost
