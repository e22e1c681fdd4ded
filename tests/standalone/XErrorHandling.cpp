// Windows opened by these tests run on a bare X server without a window manager,
// where some of the framework's window hints fail with harmless X errors. In the
// application the framework installs a handler that ignores them; a test program
// is not a stand-alone application to the framework, so do the same here instead
// of letting Xlib's default handler end the process.

#include <dlfcn.h>

namespace
{
using ErrorHandler = int (*) (void*, void*);
using SetErrorHandler = ErrorHandler (*) (ErrorHandler);

int ignoreXError (void*, void*)
{
    return 0;
}

const bool installed = []
{
    if (auto* x11 = dlopen ("libX11.so.6", RTLD_LAZY | RTLD_GLOBAL))
    {
        if (auto set = reinterpret_cast<SetErrorHandler> (dlsym (x11, "XSetErrorHandler")))
        {
            set (ignoreXError);
            return true;
        }
    }

    return false;
}();
} // namespace
