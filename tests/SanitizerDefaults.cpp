// Linked into every test program, so the sanitizers behave the same whether
// a test runs under CTest or straight from the shell (the shuffled runs).

extern "C" {

const char* __asan_default_options()
{
    // The GL driver's worker threads use dynamic thread-local storage; with
    // __tls_get_addr intercepted, the leak checker's tracer crashes on them
    // at exit.
    return "detect_leaks=1:strict_string_checks=1:check_initialization_order=1:intercept_tls_get_addr=0";
}

#ifdef ORVANE_TSAN_SUPPRESSIONS
const char* __tsan_default_options()
{
    return "suppressions=" ORVANE_TSAN_SUPPRESSIONS ":second_deadlock_stack=1";
}
#endif

const char* __ubsan_default_options()
{
    return "print_stacktrace=1:halt_on_error=1";
}

// The GL driver stack (Mesa, EGL, LLVM) and SDL keep process-lifetime
// allocations that they never free; they are not ours to fix.
const char* __lsan_default_suppressions()
{
    return "leak:libEGL\n"
           "leak:libEGL_mesa\n"
           "leak:libGLX\n"
           "leak:libGLdispatch\n"
           "leak:libgallium\n"
           "leak:_dri.so\n"
           "leak:libLLVM\n"
           "leak:libglapi\n"
           "leak:libSDL2\n"
           "leak:libdbus\n"
           "leak:libX11\n"
           "leak:libfontconfig\n";
}
}
