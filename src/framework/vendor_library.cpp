#include "framework/vendor_library.h"

#include <cstdio>

#include "core/logger.h"

namespace measure::framework {
namespace {

// Every binder logs under the name of the first one written for the i1
// libraries, whatever it binds; log readers know the lines by it.
constexpr const char* kGetAddress = "clEYE_ONE_LIB_PRO::GetAddress";
constexpr const char* kDestructor = "clEYE_ONE_LIB_PRO::~clEYE_ONE_LIB_PRO";

}  // namespace

VendorLibraryBase::VendorLibraryBase(const char* className, const char* fileName)
    : constructorName_(std::string(className) + "::" + className) {
    Log(2, constructorName_.c_str(), "start");
    module_ = platform::loadLibrary(fileName != nullptr ? fileName : "");
    if (module_ == nullptr)
        LogF(0, constructorName_.c_str(), "LoadLibrary LastError=%d", platform::lastLibraryError());
}

VendorLibraryBase::~VendorLibraryBase() {
    // An object whose binding failed has already let its library go.
    if (module_ == nullptr) return;
    Log(2, kDestructor, "start");
    release();
    Log(2, kDestructor, "end");
}

void VendorLibraryBase::release() {
    platform::freeLibrary(module_);
    module_ = nullptr;
}

void* VendorLibraryBase::GetAddress(const char* name) {
    void* address = platform::findSymbol(module_, name);
    if (address == nullptr) {
        LogF(0, kGetAddress, "LastError=%d, proc=%s", platform::lastLibraryError(),
             name != nullptr ? name : "");
        release();
    }
    return address;
}

void* VendorLibraryBase::GetAddress(unsigned ordinal, std::string& procText) {
    char text[16];
    std::snprintf(text, sizeof text, "#%u", ordinal);
    procText = text;
    void* address = platform::findOrdinal(module_, ordinal);
    if (address == nullptr) {
        LogF(0, kGetAddress, "LastError=%d, proc=%s", platform::lastLibraryError(), procText.c_str());
        release();
    }
    return address;
}

void VendorLibraryBase::bound() {
    Log(2, constructorName_.c_str(), "end ok");
}

VendorModule::VendorModule(const std::string& path) : module_(platform::loadLibrary(path)) {
    if (module_ == nullptr) throw std::runtime_error("Failed to load " + path);
}

VendorModule::~VendorModule() {
    platform::freeLibrary(module_);
}

void* VendorModule::resolve(const char* name) const {
    return platform::findSymbol(module_, name);
}

}  // namespace measure::framework
