// The system's part of the CLAP host on Windows: loading a .clap file with LoadLibraryExA and
// GetProcAddress and recognising one. Windows has no file descriptors for a plug-in's windows
// (they live on the host's message loop), so the host offers no posix-fd support. Main thread
// only.
#include <algorithm>
#include <cctype>

#include "formats/clap/clap_host.h"
#include "formats/plugin_file_win.h"

namespace cqhost {
namespace {

void* symbolOf(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void unload(void* library) {
    FreeLibrary(static_cast<HMODULE>(library));
}

}  // namespace

bool isClapPlugin(const std::string& path) {
    constexpr const char kSuffix[] = ".clap";
    constexpr std::size_t kSuffixLength = sizeof kSuffix - 1;
    // Windows file names ignore case.
    if (path.size() > kSuffixLength &&
        std::equal(path.end() - kSuffixLength, path.end(), kSuffix, [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) == b;
        })) {
        return true;
    }
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return false;
    }
    HMODULE library = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (library == nullptr) return false;
    const bool clap = symbolOf(library, "clap_entry") != nullptr &&
                      symbolOf(library, "VSTPluginMain") == nullptr &&
                      symbolOf(library, "main") == nullptr;
    FreeLibrary(library);
    return clap;
}

ClapLibrary::ClapLibrary(const std::string& path, const BeforeEntry& beforeEntry) : path_(path) {
    startFrom(loadPluginFile(path), {&symbolOf, &unload}, beforeEntry);
}

const bool ClapPlugin::kPollsDescriptors = false;

void ClapPlugin::serviceDescriptors() {}

}  // namespace cqhost
