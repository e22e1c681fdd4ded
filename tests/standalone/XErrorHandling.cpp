// On a bare X server without a window manager some of the framework's window hints
// fail with harmless X errors. The framework ignores them only in a stand-alone
// application, so do the same here instead of letting Xlib's default handler end the process.

#include <dlfcn.h>

namespace
{
using ErrorHandler = int (*) (void*, void*);

int ignoreXError (void*, void*) { return 0; }

const bool installed = []
{
    if (auto* x11 = dlopen ("libX11.so.6", RTLD_LAZY | RTLD_GLOBAL))
        if (auto set = reinterpret_cast<ErrorHandler (*) (ErrorHandler)> (dlsym (x11, "XSetErrorHandler")))
            return set (ignoreXError), true;

    return false;
}();
} // namespace
