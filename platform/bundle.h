// Saver bundles: the folder, its manifest, its library and its resources.
#pragma once

#include "platform/export.h"

#include <memory>
#include <string>

namespace platform {

// A saver bundle: a folder Name.saver holding the plug-in library, a
// manifest ("manifest.json": principal class, library file name) and
// Resources/.
class SOMNEL_EXPORT Bundle {
public:
    // Opens the bundle at path: reads the manifest and dlopens the library.
    // Returns null with a reason in *error on failure.
    static std::shared_ptr<Bundle> open(const std::string &path, std::string *error = nullptr);
    // The opened bundle whose library contains this address (dladdr), or null.
    static std::shared_ptr<Bundle> containingAddress(const void *address);
    // A bundle over an already loaded handle (for tests: dlopen(nullptr)).
    static std::shared_ptr<Bundle> forHandle(const std::string &path, void *handle);

    const std::string &bundlePath() const { return path_; }
    std::string name() const;  // file name without extension
    std::string resourcePath() const;  // path/Resources, empty when missing
    const std::string &principalClass() const { return principalClass_; }
    const std::string &executablePath() const { return executable_; }
    void *handle() const { return handle_; }

    // dlsym on the bundle's library, null when absent.
    void *dataPointerForName(const std::string &symbol) const;
    // The function table the saver view looks up for a saver name: the
    // name in lower case, blanks removed, then "_somnel_function_table".
    static std::string functionTableSymbol(const std::string &saverName);
    // Resources/<name>.<type>, empty when there is no such file.
    std::string pathForResource(const std::string &name, const std::string &type) const;

    ~Bundle();

private:
    Bundle() = default;
    std::string path_, principalClass_, executable_;
    void *handle_ = nullptr;
    bool ownsHandle_ = false;
};

}  // namespace platform
