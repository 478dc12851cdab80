// Binding instrument makers' libraries at run time, so that this library
// loads on machines without them and a driver whose library is missing
// simply fails its Open with -1. The platform loader maps "X.dll" to
// libX.so and searches $MEASURE_SDK_PATH, then this library's own folder,
// then the system path; an ordinal N is the symbol "ordinal_N".
//
// Two patterns:
//
// VendorLibrary<Error>: an entry table bound once, at construction, all or
// nothing. The driver's class lists its entries in its constructor body:
//
//   MEASURE_DRIVER_ERROR(exNIX_LIB);
//
//   class clNIX_LIB : public framework::VendorLibrary<exNIX_LIB> {
//   public:
//       clNIX_LIB() : VendorLibrary("clNIX_LIB", "NixUniversalSDK.dll") {
//           bind(NixInitialize, "NixInitialize");
//           bind(NixScan, "NixScan");
//           bound();  // logs "end ok"
//       }
//       int (*NixInitialize)() = nullptr;
//       int (*NixScan)(int) = nullptr;
//   };
//
// A library that cannot be loaded throws Error("loading"); a missing entry
// frees the library again and throws Error(<entry name>). Either way no
// partly bound object survives.
//
// VendorModule: a library loaded by path whose functions are looked up by
// name at each use; a failed load throws std::runtime_error("Failed to load "
// + path).
//
// Threads: binding runs on the thread that constructs the object (the
// driver's MeasureThread or the host's thread during Open); calls through
// the bound pointers follow the driver's own threading.
#pragma once

#include <cstring>
#include <stdexcept>
#include <string>
#include <type_traits>

#include "platform/dynamic_library.h"

namespace measure::framework {

// The untyped part of VendorLibrary, compiled once.
class VendorLibraryBase {
public:
    VendorLibraryBase(const VendorLibraryBase&) = delete;
    VendorLibraryBase& operator=(const VendorLibraryBase&) = delete;

    bool loaded() const { return module_ != nullptr; }

protected:
    // Logs "start" under "<className>::<className>" and loads `fileName`;
    // false (after logging "LoadLibrary LastError=%d") when it cannot.
    VendorLibraryBase(const char* className, const char* fileName);
    // Logs "start", frees the library, logs "end", under
    // "clEYE_ONE_LIB_PRO::~clEYE_ONE_LIB_PRO".
    ~VendorLibraryBase();

    // The entry point `name` (or ordinal `ordinal`); null after logging
    // "LastError=%d, proc=%s" under "clEYE_ONE_LIB_PRO::GetAddress" and
    // freeing the library.
    void* GetAddress(const char* name);
    void* GetAddress(unsigned ordinal, std::string& procText);
    // Logs "end ok" under the constructor's name.
    void bound();

private:
    void release();

    std::string constructorName_;
    platform::LibraryHandle module_ = nullptr;
};

template <class Error>
class VendorLibrary : public VendorLibraryBase {
protected:
    VendorLibrary(const char* className, const char* fileName) : VendorLibraryBase(className, fileName) {
        if (!loaded()) throw Error("loading");
    }

    // Resolves the entry `name` into `slot`.
    template <class Fn>
    void bind(Fn*& slot, const char* name) {
        static_assert(std::is_function_v<Fn>, "entries are function pointers");
        slot = cast<Fn>(GetAddress(name));
        if (slot == nullptr) throw Error(name);
    }
    // Resolves the entry exported under ordinal `ordinal` into `slot`.
    template <class Fn>
    void bind(Fn*& slot, unsigned ordinal) {
        static_assert(std::is_function_v<Fn>, "entries are function pointers");
        std::string procText;
        slot = cast<Fn>(GetAddress(ordinal, procText));
        if (slot == nullptr) throw Error(procText);
    }

private:
    template <class Fn>
    static Fn* cast(void* address) {
        Fn* fn = nullptr;
        static_assert(sizeof fn == sizeof address, "code and data pointers have one size");
        std::memcpy(&fn, &address, sizeof fn);
        return fn;
    }
};

class VendorModule {
public:
    // Throws std::runtime_error("Failed to load " + path).
    explicit VendorModule(const std::string& path);
    ~VendorModule();
    VendorModule(const VendorModule&) = delete;
    VendorModule& operator=(const VendorModule&) = delete;

    // The function `name`, or null (the caller's to handle).
    void* resolve(const char* name) const;
    template <class Fn>
    Fn* resolve(const char* name) const {
        static_assert(std::is_function_v<Fn>, "entries are function pointers");
        void* address = resolve(name);
        Fn* fn = nullptr;
        std::memcpy(&fn, &address, sizeof fn);
        return fn;
    }

private:
    platform::LibraryHandle module_ = nullptr;
};

}  // namespace measure::framework
