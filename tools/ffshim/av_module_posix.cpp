#include "av_module.h"

#include <dlfcn.h>
#include <unistd.h>

#include "output.h"

namespace ffshim {

namespace {

// The module lies next to the tool layer's own executable.
void *load_module()
{
    static void *module = nullptr;
    if (module) return module;
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return nullptr;
    std::string path(self, static_cast<size_t>(n));
    path = path.substr(0, path.rfind('/') + 1) + "ffshim_av.so";
    module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        const char *why = dlerror();
        say(std::string("ffshim: cannot load ") + path + ": " + (why ? why : "unknown error"));
    }
    return module;
}

template <typename Fn>
Fn find(const char *symbol)
{
    void *module = load_module();
    return module ? reinterpret_cast<Fn>(dlsym(module, symbol)) : nullptr;
}

}  // namespace

// The FFmpeg libraries here are the ones the stock programs are built on.
int stock_has_encoder(const std::string & /*program*/, const char *name)
{
    auto fn = find<int (*)(const char *)>("ffshim_has_encoder");
    return fn ? fn(name) : -1;
}

int input_is_length_prefixed(const std::string &path)
{
    auto fn = find<int (*)(const char *)>("ffshim_is_length_prefixed");
    return fn ? fn(path.c_str()) : -1;
}

}  // namespace ffshim
