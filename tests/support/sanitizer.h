#pragma once

namespace sievetext::testing {

// Whether this build runs under AddressSanitizer, whose own memory and
// address-space needs would be counted against the program's.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif
#else
inline constexpr bool kSanitized = false;
#endif

}  // namespace sievetext::testing
