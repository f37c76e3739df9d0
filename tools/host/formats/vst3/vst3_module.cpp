#include "formats/vst3/vst3_module.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "common/host_error.h"
#include "formats/vst3/vst3_host_objects.h"

namespace cqhost {
namespace {

using namespace vst3;

// The folder inside a bundle's Contents that holds this system's binary, and its suffix.
#if defined(_WIN64)
constexpr const char* kPlatformFolder = "x86_64-win";
constexpr const char* kBinarySuffix = ".vst3";
#elif defined(_WIN32)
constexpr const char* kPlatformFolder = "x86-win";
constexpr const char* kBinarySuffix = ".vst3";
#elif defined(__aarch64__)
constexpr const char* kPlatformFolder = "aarch64-linux";
constexpr const char* kBinarySuffix = ".so";
#else
constexpr const char* kPlatformFolder = "x86_64-linux";
constexpr const char* kBinarySuffix = ".so";
#endif

// `path` without the separators a shell's completion leaves at a folder's end.
std::string withoutTrailingSeparators(std::string path) {
    while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.pop_back();
    return path;
}

// Fixed-size 8-bit text, NUL-terminated or not.
template <std::size_t N>
std::string text(const char (&chars)[N]) {
    return std::string(chars, std::find(chars, chars + N, '\0'));
}

// Whether `name` ends in ".vst3", in any case: Windows' file names ignore case, and bundles
// made there may carry any.
bool hasVst3Suffix(const std::string& name) {
    constexpr std::string_view kSuffix = ".vst3";
    if (name.size() <= kSuffix.size()) return false;
    return std::equal(
        kSuffix.begin(), kSuffix.end(), name.end() - kSuffix.size(),
        [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

}  // namespace

bool isVst3Module(const std::string& path) {
    const std::string name = withoutTrailingSeparators(path);
    if (hasVst3Suffix(name)) return true;
    // A bundle's binary named by itself (NAME.vst3/Contents/x86_64-linux/NAME.so): its folder
    // is a system's folder in a bundle's Contents, whatever the system.
    namespace fs = std::filesystem;
    const fs::path contents = fs::path(name).parent_path().parent_path();
    return contents.filename() == "Contents" && hasVst3Suffix(contents.parent_path().string());
}

std::string vst3BinaryPath(const std::string& path) {
    namespace fs = std::filesystem;
    const std::string bundle = withoutTrailingSeparators(path);
    std::error_code error;
    if (!fs::is_directory(bundle, error)) return path;
    const fs::path binary = fs::path(bundle) / "Contents" / kPlatformFolder /
                            (fs::path(bundle).stem().string() + kBinarySuffix);
    if (!fs::exists(binary, error)) {
        throw HostError("VST 3 bundle " + path + " has no binary for this system (looked for " +
                        binary.string() + ")");
    }
    return binary.string();
}

Vst3Module::Vst3Module(const std::string& path,
                       const std::function<void(void* library)>& beforeEntry)
    : path_(path), binaryPath_(vst3BinaryPath(path)) {
    load();
    try {
        if (beforeEntry) beforeEntry(library_);
        enter();
        auto getFactory = reinterpret_cast<GetFactoryProc>(symbol(kGetFactoryProcName));
        if (getFactory == nullptr) {
            throw HostError("plug-in " + path_ + " exports no " + kGetFactoryProcName);
        }
        factory_.reset(getFactory());
        if (!factory_) throw HostError("plug-in " + path_ + " gave no factory");
    } catch (...) {
        exitAndUnload();
        throw;
    }
}

Vst3Module::~Vst3Module() {
    exitAndUnload();
}

Vst3FactoryInfo Vst3Module::factoryInfo() {
    PFactoryInfo info{};
    Vst3FactoryInfo result;
    if (factory_->getFactoryInfo(&info) != kResultOk) return result;
    result.vendor = text(info.vendor);
    result.url = text(info.url);
    result.email = text(info.email);
    result.flags = info.flags;
    return result;
}

std::vector<Vst3ClassInfo> Vst3Module::classes() {
    const auto factory2 = queryVst3<IPluginFactory2>(factory_.get());
    const auto factory3 = queryVst3<IPluginFactory3>(factory_.get());
    std::vector<Vst3ClassInfo> list;
    const int32 count = factory_->countClasses();
    for (int32 i = 0; i < count; ++i) {
        Vst3ClassInfo c;
        PClassInfoW infoW{};
        PClassInfo2 info2{};
        PClassInfo info{};
        if (factory3 && factory3->getClassInfoUnicode(i, &infoW) == kResultOk) {
            std::copy_n(infoW.cid, 16, c.cid.bytes);
            c.cardinality = infoW.cardinality;
            c.category = text(infoW.category);
            c.name = utf8Of(infoW.name, 64);
            c.classFlags = infoW.classFlags;
            c.subCategories = text(infoW.subCategories);
            c.vendor = utf8Of(infoW.vendor, 64);
            c.version = utf8Of(infoW.version, 64);
            c.sdkVersion = utf8Of(infoW.sdkVersion, 64);
            c.hasInfo2 = true;
        } else if (factory2 && factory2->getClassInfo2(i, &info2) == kResultOk) {
            std::copy_n(info2.cid, 16, c.cid.bytes);
            c.cardinality = info2.cardinality;
            c.category = text(info2.category);
            c.name = text(info2.name);
            c.classFlags = info2.classFlags;
            c.subCategories = text(info2.subCategories);
            c.vendor = text(info2.vendor);
            c.version = text(info2.version);
            c.sdkVersion = text(info2.sdkVersion);
            c.hasInfo2 = true;
        } else if (factory_->getClassInfo(i, &info) == kResultOk) {
            std::copy_n(info.cid, 16, c.cid.bytes);
            c.cardinality = info.cardinality;
            c.category = text(info.category);
            c.name = text(info.name);
        } else {
            continue;
        }
        c.cidText = uidText(c.cid.bytes).chars;
        list.push_back(std::move(c));
    }
    return list;
}

}  // namespace cqhost
