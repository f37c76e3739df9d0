#include "formats/plugin_file_win.h"

#include "common/host_error.h"

namespace cqhost {

std::string lastErrorText() {
    const DWORD code = GetLastError();
    char text[256] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, text, sizeof text - 1, nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    if (message.empty()) message = "error " + std::to_string(code);
    return message;
}

HMODULE loadPluginFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        throw HostError("cannot open plug-in " + path + ": " + lastErrorText());
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        throw HostError("plug-in " + path + " is not a regular file");
    }
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module == nullptr) {
        throw HostError("cannot load plug-in " + path + ": " + lastErrorText());
    }
    return module;
}

}  // namespace cqhost
