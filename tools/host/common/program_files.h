// Files of the program's own that it finds from where it lies: beside it in a build tree
// (build/out), in <prefix>/lib/FOLDER when installed (the program in <prefix>/bin). Any thread.
#pragma once

#include <string>

namespace cqhost {

struct ProgramFile {
    std::string beside;     // in the program's folder
    std::string installed;  // in ../lib/FOLDER from it
    // The installed one where only it exists, otherwise the one beside.
    std::string path() const;
};

// Where the program's file `name` of <prefix>/lib/`folder` lies.
ProgramFile programFile(const std::string& folder, const std::string& name);

}  // namespace cqhost
