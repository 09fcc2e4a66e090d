// Whether this build carries AddressSanitizer. It installs its own handlers
// for fatal signals and replaces malloc, so a crashing program built with it
// reports through the sanitizer instead of our handler: tests of crash
// reports run in the ordinary build only.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kBuiltWithAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kBuiltWithAddressSanitizer = true;
#else
constexpr bool kBuiltWithAddressSanitizer = false;
#endif
#else
constexpr bool kBuiltWithAddressSanitizer = false;
#endif
