#include "tools/sound_libraries.h"

#include <dlfcn.h>

namespace qztool {

namespace {

// The libraries' sonames: the interface versions the headers describe.
constexpr const char* sndfileName = "libsndfile.so.1";
constexpr const char* samplerateName = "libsamplerate.so.0";

struct Loaded {
    SoundLibraries functions{};
    std::string failure; // empty when every function was found
};

// Binds function to its symbol in library, unless an earlier one failed; sets the failure when
// the symbol is missing.
template <class Function>
void bind(void* library, const char* libraryName, const char* symbol, Function& function,
          std::string& failure) {
    if (!failure.empty()) return;
    function = reinterpret_cast<Function>(dlsym(library, symbol));
    if (function == nullptr) failure = std::string(libraryName) + " has no " + symbol;
}

Loaded load() {
    Loaded loaded;
    std::string& failure = loaded.failure;
    // Kept loaded for the rest of the process: the functions are called until it ends.
    void* sndfile = dlopen(sndfileName, RTLD_NOW | RTLD_LOCAL);
    void* samplerate = sndfile ? dlopen(samplerateName, RTLD_NOW | RTLD_LOCAL) : nullptr;
    if (samplerate == nullptr) {
        // dlerror's words name the library and why it could not be loaded.
        const char* why = dlerror();
        failure =
            why ? why : std::string("cannot load ") + (sndfile ? samplerateName : sndfileName);
        return loaded;
    }
    SoundLibraries& f = loaded.functions;
    bind(sndfile, sndfileName, "sf_open", f.open, failure);
    bind(sndfile, sndfileName, "sf_close", f.close, failure);
    bind(sndfile, sndfileName, "sf_readf_float", f.readFloat, failure);
    bind(sndfile, sndfileName, "sf_error", f.error, failure);
    bind(sndfile, sndfileName, "sf_strerror", f.fileError, failure);
    bind(samplerate, samplerateName, "src_simple", f.convert, failure);
    bind(samplerate, samplerateName, "src_strerror", f.convertError, failure);
    return loaded;
}

} // namespace

const SoundLibraries* soundLibraries(std::string& message) {
    static const Loaded loaded = load(); // made once, by the first thread to get here
    if (!loaded.failure.empty()) {
        message = loaded.failure;
        return nullptr;
    }
    return &loaded.functions;
}

} // namespace qztool
