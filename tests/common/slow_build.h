#pragma once
// Builds that sanitize every access or check the whole mesh after every
// pass run the largest inputs only where a plain build would.

namespace testbuild {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || defined(G3_CHECK_PASSES)
constexpr bool kSlowBuild = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(undefined_behavior_sanitizer)
constexpr bool kSlowBuild = true;
#else
constexpr bool kSlowBuild = false;
#endif
#else
constexpr bool kSlowBuild = false;
#endif

} // namespace testbuild
