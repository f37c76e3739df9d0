// Where cqscope-host's outputs land, through the built program: a device or FIFO is written
// into and never replaced, a symbolic link's target is replaced and the link kept, and a run
// that fails part way leaves none of its outputs and no earlier file replaced. Device nodes
// and a full file system need root; without it these tests skip.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <thread>

#include "host_test_support.h"

namespace cqhost_test {
namespace {

bool isRoot() {
    return ::geteuid() == 0;
}

// Reads a FIFO to its end on a thread of its own: the writer's open waits for this reader.
class FifoReader {
  public:
    explicit FifoReader(const std::string& path) : path_(path) {
        thread_ = std::thread([this] {
            const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0) return;
            char buffer[65536];
            ssize_t got;
            while ((got = ::read(fd, buffer, sizeof buffer)) > 0) bytes_.append(buffer, got);
            ::close(fd);
        });
    }
    // Waits for the writer to close; a reader still waiting for a writer that never came is
    // released by an open of our own.
    std::string finish() {
        const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) ::close(fd);
        thread_.join();
        return bytes_;
    }
    ~FifoReader() {
        if (thread_.joinable()) finish();
    }

  private:
    std::string path_;
    std::string bytes_;
    std::thread thread_;
};

class HostOutput : public ::testing::Test {
  protected:
    void SetUp() override {
        writeAudio(dir_.file("in.wav"), sine(440.0, 44100, 0.5, 2), 2, 44100,
                   SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    }
    // The bytes `analyse` writes to a regular file of the given type.
    std::string analysed(const std::string& type) {
        const std::string path = dir_.file("expected." + type);
        const RunResult run = runHost({"analyse", dir_.file("in.wav"), "--out", path});
        EXPECT_EQ(run.status, 0) << run.err;
        const std::string bytes = fileBytes(path);
        std::filesystem::remove(path);
        return bytes;
    }
    ScratchDir dir_;
};

TEST_F(HostOutput, CharacterDeviceIsWrittenIntoAndStays) {
    if (!isRoot()) GTEST_SKIP() << "making a device node needs root";
    const std::string gain = CQHOST_FIXTURE_GAIN;
    std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"nd.csv", {"analyse", dir_.file("in.wav"), "--out", dir_.file("nd.csv")}},
        {"nd.wav", {"process", "--plugin", gain, dir_.file("in.wav"), dir_.file("nd.wav")}},
    };
    if (cqscopeHasEditor()) {
        for (const char* name : {"nd.png", "nd.mp4"}) {
            cases.push_back({name,
                             {"render", "--plugin", cqscopePlugin(), dir_.file("in.wav"), "--out",
                              dir_.file(name)}});
        }
    }
    for (const auto& [name, args] : cases) {
        // The numbers of /dev/null: whatever is written is dropped.
        ASSERT_EQ(::mknod(dir_.file(name).c_str(), S_IFCHR | 0666, ::makedev(1, 3)), 0);
        const RunResult run = runHost(args);
        EXPECT_EQ(run.status, 0) << name << ": " << run.err;
        struct stat info {};
        ASSERT_EQ(::lstat(dir_.file(name).c_str(), &info), 0) << name;
        EXPECT_TRUE(S_ISCHR(info.st_mode)) << name << " was replaced";
        EXPECT_EQ(info.st_rdev, ::makedev(1, 3)) << name;
    }
    // Nothing but the input and the devices: no temporary left beside them.
    EXPECT_EQ(dir_.entries().size(), cases.size() + 1);
}

// A FIFO gets the whole file once the run is done, even a type written with a header that
// is completed at the end (.npy), which a pipe could not seek back to.
TEST_F(HostOutput, FifoGetsTheWholeFile) {
    const std::string expected = analysed("npy");
    ASSERT_EQ(::mkfifo(dir_.file("pipe.npy").c_str(), 0666), 0);
    FifoReader reader(dir_.file("pipe.npy"));
    const RunResult run = runHost({"analyse", dir_.file("in.wav"), "--out", dir_.file("pipe.npy")});
    const std::string got = reader.finish();
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(got, expected);
    struct stat info {};
    ASSERT_EQ(::lstat(dir_.file("pipe.npy").c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

TEST_F(HostOutput, SymbolicLinkKeepsPointingAtItsNewTarget) {
    const std::string expected = analysed("csv");
    std::filesystem::create_directory(dir_.file("real"));
    writeFile(dir_.file("real/data.csv"), "earlier");
    std::filesystem::create_symlink("real/data.csv", dir_.file("link.csv"));
    // A link whose target does not exist yet gets it made.
    std::filesystem::create_symlink("real/new.csv", dir_.file("dangling.csv"));
    for (const char* link : {"link.csv", "dangling.csv"}) {
        const RunResult run = runHost({"analyse", dir_.file("in.wav"), "--out", dir_.file(link)});
        ASSERT_EQ(run.status, 0) << link << ": " << run.err;
        EXPECT_TRUE(std::filesystem::is_symlink(dir_.file(link))) << link;
        EXPECT_EQ(fileBytes(dir_.file(link)), expected) << link;
    }
    EXPECT_EQ(fileBytes(dir_.file("real/data.csv")), expected);
    const std::vector<std::string> targets = {"data.csv", "new.csv"};
    std::vector<std::string> inReal;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.file("real"))) {
        inReal.push_back(entry.path().filename().string());
    }
    std::sort(inReal.begin(), inReal.end());
    EXPECT_EQ(inReal, targets);
}

// One output on a full file system fails the run: the other output is not written either,
// and what was there before stays.
TEST_F(HostOutput, FullDiskForOneOutputLeavesNoneOfTheRunsOutputs) {
    if (!isRoot()) GTEST_SKIP() << "mounting a small file system needs root";
    const std::string full = dir_.file("full");
    std::filesystem::create_directory(full);
    if (::mount("tmpfs", full.c_str(), "tmpfs", 0, "size=64k") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    }
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{full};
    // Fill it: the file system takes no more.
    {
        const int fd = ::open((full + "/fill").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        const std::string block(4096, 'x');
        while (::write(fd, block.data(), block.size()) > 0) {
        }
        ::close(fd);
    }
    std::filesystem::create_directory(dir_.file("out"));
    writeFile(dir_.file("out/pk.csv"), "earlier");
    RunResult run = runHost({"analyse", dir_.file("in.wav"), "--peaks", "50", "--peaks-out",
                             full + "/p.txt", "--out", dir_.file("out/pk.csv")});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("No space left on device"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(fileBytes(dir_.file("out/pk.csv")), "earlier");
    EXPECT_EQ(std::vector<std::string>{"pk.csv"}, [&] {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir_.file("out"))) {
            names.push_back(e.path().filename().string());
        }
        return names;
    }());
    EXPECT_FALSE(std::filesystem::exists(full + "/p.txt"));

    // Numbered pictures into a folder that holds an earlier render's: the folder is as it was.
    if (!cqscopeHasEditor()) return;
    std::filesystem::create_directory(dir_.file("frames"));
    writeFile(dir_.file("frames/frame-0001.png"), "earlier");
    run = runHost({"render", "--plugin", cqscopePlugin(), dir_.file("in.wav"), "--every", "0.1",
                   "--peaks", "50", "--peaks-out", full + "/p.txt", "--out", dir_.file("frames")});
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(fileBytes(dir_.file("frames/frame-0001.png")), "earlier");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.file("frames")),
                            std::filesystem::directory_iterator()),
              1);
}

}  // namespace
}  // namespace cqhost_test
