#include <cstdio>

#include "common/child_process.h"
#include "validate/checks.h"

namespace cqhost::validation {
namespace {
int progressPipe = -1;
}  // namespace

void fail(const std::string& reason) {
    throw CheckFailure{reason};
}

void setProgressPipe(int descriptor) {
    progressPipe = descriptor;
}

void step(const std::string& what) {
    if (progressPipe < 0) return;
    writeAll(progressPipe, "~" + what + "\n");
}

std::unique_ptr<PluginHost> load(const Subject& subject) {
    return std::make_unique<PluginHost>(subject.path);
}

void requireAudio(const Subject& subject) {
    if (!subject.canReplace) throw CheckSkipped{"the effect does not process replacing"};
}

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

}  // namespace cqhost::validation
