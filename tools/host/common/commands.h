// The commands of cqscope-host, each a function of its parsed options (each command declares
// its options beside its code, as an options.h Command). Every one throws HostError for bad input,
// before any output file is touched where it can be checked up front, and never leaves a partial
// output file behind. Main thread only.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace cqhost {

struct ProbeOptions {
    std::string plugin;
    bool json = false;
    int timeoutSeconds = 30;  // a child still loading the plug-in after this is killed
};

struct ProcessOptions {
    std::string plugin;
    std::string input;
    std::string output;
};

// A point of the editor's picture at its own size: column and row from its top-left corner.
struct PointerAt {
    int column = 0;
    int row = 0;
};

struct RenderOptions {
    std::string plugin;
    std::optional<std::string> audio;  // none: the built-in demo
    std::optional<std::string> midi;
    std::vector<double> at;            // capture times in seconds
    std::optional<double> every;       // capture period in seconds
    std::optional<double> holdAt;      // when to click the Hold button, in seconds
    std::optional<PointerAt> pointer;  // where the pointer rests over the editor throughout
    std::optional<std::string> out;
    std::optional<int> peaks;             // note readout: this many peaks per picture
    std::optional<std::string> peaksOut;  // readout file; none: stderr
    std::optional<double> fps;            // video frames per second (default 30)
    bool lossless = false;                // video: FFV1 and FLAC rather than H.264 and AAC
    int threads = 0;  // threads to use, the render's own included; 0: one per core
};

struct AnalyseOptions {
    std::vector<std::string> audio;  // one or more files
    std::optional<std::string> midi;
    std::optional<double> every;        // row period in seconds; none: the display's 0.1 s
    std::optional<std::string> out;     // one audio file only
    std::optional<std::string> outDir;  // NAME.TYPE of each audio file go there
    std::string type = "csv";           // csv, json or npy, without --out
    std::optional<int> peaks;
    std::optional<std::string> peaksOut;
};

struct WatchOptions {
    std::string plugin;
    std::optional<std::string> audio;  // none: the built-in demo
    std::optional<double> seconds;     // none: until the window is closed
};

struct ListenOptions {
    std::string name = "cqscope";           // the JACK client's name
    std::vector<std::string> audioSources;  // JACK ports connected to both audio inputs
    std::vector<std::string> midiSources;   // JACK ports connected to the MIDI input
    std::optional<int> peaks;               // readout: this many peaks a refresh, on stderr
    std::optional<double> seconds;          // none: until Ctrl-C or the window is closed
    std::optional<std::string> picture;     // the display's last picture, as PNG, at the end
    bool noWindow = false;                  // no X11 window even where a display is reachable
};

// The plug-in used when --plugin is not given: cqscope.so beside this program.
std::string defaultPluginPath();

int runAnalyse(const AnalyseOptions& options);
int runProbe(const ProbeOptions& options);
int runProcess(const ProcessOptions& options);
int runRender(const RenderOptions& options);
int runWatch(const WatchOptions& options);
int runListen(const ListenOptions& options);

}  // namespace cqhost
