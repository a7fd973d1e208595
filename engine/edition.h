// The edition switch. The engine is built twice from the same sources, and
// both builds live side by side in one program: the build setting
// NET1_EDITION (1 or 2) picks the namespace that a build's records and
// operations live in, and the one predicate below is all that differs
// between them. Edition 2 scales switching by the queue's rateFactor and
// lowers the threshold of a unit that excitatory input does not make fire.
#pragma once

#if NET1_EDITION == 1
#define NET1_EDITION_NAMESPACE ed1
#elif NET1_EDITION == 2
#define NET1_EDITION_NAMESPACE ed2
#else
#error "NET1_EDITION must be defined as 1 or 2 by the build"
#endif

namespace net1 {
inline namespace NET1_EDITION_NAMESPACE {

inline constexpr int kEdition = NET1_EDITION;
// The rate factor on switching and the sub-threshold threshold decrease.
inline constexpr bool kEdition2 = NET1_EDITION == 2;

}  // namespace NET1_EDITION_NAMESPACE
}  // namespace net1
