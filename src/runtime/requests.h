// The request and response codes by which one window procedure asks another to insert, change,
// delete or select a record and learns the outcome: the values of the program's global request and
// response codes. The list browse and every procedure use them.
#pragma once

#include <cstdint>

namespace rt {

// Values of the request code (0: none).
inline constexpr std::int32_t InsertRecord = 1;
inline constexpr std::int32_t ChangeRecord = 2;
inline constexpr std::int32_t DeleteRecord = 3;
inline constexpr std::int32_t SelectRecord = 4;
// Values of the response code.
inline constexpr std::int32_t RequestCompleted = 1;
inline constexpr std::int32_t RequestCancelled = 2;

}  // namespace rt
