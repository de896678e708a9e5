// Whether this test build carries AddressSanitizer or ThreadSanitizer. Such a
// build renders and draws several times slower and brings a runtime with
// memory, descriptors and bytes of its own, so tests stretch their limits or
// leave to the optimised build what only it can show.
#pragma once

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitizerBuild = true;
#else
constexpr bool kSanitizerBuild = false;
#endif
