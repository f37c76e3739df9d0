// The extension of a file name, as the program's outputs are told apart by it. Any thread.
#pragma once

#include <cctype>
#include <string>

namespace cqhost {

// The extension of the file name at the end of `path`, in lower case and without its dot
// ("mp4" for "dir/Song.MP4"); empty when the name has none.
inline std::string fileExtension(const std::string& path) {
    const auto slash = path.rfind('/');
    const auto dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string extension = path.substr(dot + 1);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

}  // namespace cqhost
