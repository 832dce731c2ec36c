// How session values are written into the Redis session store: a value
// travels as its VarType number, a colon and its invariant payload, so that
// any server sharing the store reads back the same type and value.
#ifndef FENNICK_PLATFORM_WEB_REDIS_SESSION_STORE_H_
#define FENNICK_PLATFORM_WEB_REDIS_SESSION_STORE_H_

#include <optional>
#include <string>
#include <string_view>

#include "fennick/variant.h"

namespace fennick {

// The stored form of `value`; nullopt for an object reference other than
// Nothing (objects live in one process and cannot be shared).
std::optional<std::string> EncodeSessionValue(const Variant& value);
// The value of a stored form; nullopt when `text` is not one (an unknown
// type, a payload that does not fit its type).
std::optional<Variant> DecodeSessionValue(std::string_view text);

}  // namespace fennick

#endif  // FENNICK_PLATFORM_WEB_REDIS_SESSION_STORE_H_
