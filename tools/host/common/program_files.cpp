#include "common/program_files.h"

#include <unistd.h>

#include <vector>

namespace cqhost {

std::string ProgramFile::path() const {
    if (::access(beside.c_str(), F_OK) != 0 && ::access(installed.c_str(), F_OK) == 0) {
        return installed;
    }
    return beside;
}

ProgramFile programFile(const std::string& folder, const std::string& name) {
    std::vector<char> buffer(4096);
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    std::string programFolder;
    if (length > 0) {
        const std::string self(buffer.data(), static_cast<size_t>(length));
        programFolder = self.substr(0, self.rfind('/') + 1);
    }
    return {programFolder + name, programFolder + "../lib/" + folder + "/" + name};
}

}  // namespace cqhost
