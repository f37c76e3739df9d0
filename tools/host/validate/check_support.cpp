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

void requireAudio(const Subject& subject) {
    if (!subject.canReplace) throw CheckSkipped{"the effect does not process replacing"};
}

std::string hex(long long value) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%llx", value);
    return text;
}

}  // namespace cqhost::validation
