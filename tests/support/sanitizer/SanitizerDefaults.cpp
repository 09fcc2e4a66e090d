// Defaults of the sanitizer runtimes for the sanitized tests and the fuzz
// targets, built into each executable so that a test run, a test listing and
// a fuzzer all read the same rules without any environment.
//
// Leaks are reported, except for memory that these libraries keep for the
// life of the process on purpose, each named below. Nothing else is waived:
// every other finding ends the run (the code is built with
// -fno-sanitize-recover).

extern "C" const char* __lsan_default_suppressions() {
    return
        // fontconfig's configuration and pattern caches, loaded once.
        "leak:libfontconfig.so\n"
        // libxml2's global parser state (initialised once per process).
        "leak:libxml2.so\n";
}

extern "C" const char* __ubsan_default_options() { return "print_stacktrace=1:halt_on_error=1"; }

extern "C" const char* __asan_default_options() {
    // Tests load libraries that were not built with the sanitizer; keep their
    // order-of-initialisation checks off, and stop at the first error.
    return "detect_stack_use_after_return=0:strict_init_order=0:halt_on_error=1";
}
