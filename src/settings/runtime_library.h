#pragma once

#include <dlfcn.h>

#include <array>
#include <cstddef>
#include <string>

// A shared library opened when it is first needed rather than with the program (loading
// and linking some libraries and what they pull in costs a tenth of a second at every
// start), with the symbols asked for: either all of them are there or the library is not
// used at all.
template <std::size_t N> class RuntimeLibrary {
public:
    RuntimeLibrary(const char* soname, const std::array<const char*, N>& names) {
        void* handle = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* why = dlerror();
            error_ = why ? why : soname;
            return;
        }
        for (std::size_t i = 0; i < N; ++i) {
            symbols_[i] = dlsym(handle, names[i]);
            if (!symbols_[i]) {
                error_ = std::string(soname) + ": " + names[i] + " fehlt";
                dlclose(handle);
                symbols_ = {};
                return;
            }
        }
        loaded_ = true; // kept open until the process ends
    }
    bool loaded() const { return loaded_; }
    const std::string& error() const { return error_; }
    // Symbol i as a function of the type F (the library's own declaration of it).
    template <typename F> F* get(std::size_t i) const { return reinterpret_cast<F*>(symbols_[i]); }

private:
    std::array<void*, N> symbols_{};
    bool loaded_ = false;
    std::string error_;
};
