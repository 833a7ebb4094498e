// The layout tables of Apps and TempFile, checked against the record structs at compile time.
#include "store/records.h"

namespace store {
namespace {

constexpr FieldLayout kAppsFields[] = {
    {"DriveNPath", FieldType::String, offsetof(AppsRecord, DriveNPath), 80},
    {"Application", FieldType::String, offsetof(AppsRecord, Application), 12},
    {"Tag", FieldType::Short, offsetof(AppsRecord, Tag), 2},
};

constexpr FieldLayout kTempFileFields[] = {
    {"Apps", FieldType::String, offsetof(TempFileRecord, Apps), 40},
    {"Date", FieldType::Long, offsetof(TempFileRecord, Date), 4},
    {"Clock", FieldType::Long, offsetof(TempFileRecord, Clock), 4},
    {"Event", FieldType::String, offsetof(TempFileRecord, Event), 80},
};

}  // namespace

const FileLayout kAppsLayout = {
    "Apps", "APPS", sizeof(AppsRecord), kAppsFields, 3,
    {"DriveKey", {0, 1}, 2, /*unique=*/true, /*ignore_case=*/true}};

const FileLayout kTempFileLayout = {
    "TempFile", "TEMPFILE", sizeof(TempFileRecord), kTempFileFields, 4,
    {"ClockKey", {1, 2}, 2, /*unique=*/false, /*ignore_case=*/false}};

}  // namespace store
