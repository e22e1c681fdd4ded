// Without a window manager some window hints fail with harmless X errors, which the framework
// ignores only in an application: ignore them here too rather than let Xlib end the process.
#include <dlfcn.h>

[[maybe_unused]] static const bool xErrorsIgnored = [] {
    auto* x11 = dlopen ("libX11.so.6", RTLD_LAZY | RTLD_GLOBAL);
    auto set = x11 != nullptr ? reinterpret_cast<void* (*) (int (*) (void*, void*))> (dlsym (x11, "XSetErrorHandler")) : nullptr;
    return set != nullptr && (set ([] (void*, void*) { return 0; }), true);
}();
