// The two record files of the program, Apps (the application list) and TempFile (the activity log):
// their record buffers with exact byte images, their keys, and the layout tables from which the
// store derives each file's database schema. The chief header of the store; every layer above uses it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/fixed_string.h"

namespace store {

// One record of Apps: 94 bytes, fields in this order, no padding. Key DriveKey: DriveNPath, then
// Application, ascending, unique, letter case ignored.
struct AppsRecord {
  platform::FixedString<80> DriveNPath;   // directory of the application file, ending with a backslash
  platform::FixedString<12> Application;  // the application's file name with its extension
  std::int16_t Tag = 0;             // 1 tagged for the batch operations, 0 not

  // A cleared record: blank strings, zero numbers.
  void Clear() { *this = AppsRecord(); }
};

// One record of TempFile: 128 bytes. Key ClockKey: Date, then Clock, ascending, duplicates allowed.
struct TempFileRecord {
  platform::FixedString<40> Apps;   // the application the step concerns
  std::int32_t Date = 0;      // day number
  std::int32_t Clock = 0;     // hundredths of a second since midnight
  platform::FixedString<80> Event;  // what happened

  void Clear() { *this = TempFileRecord(); }
};

// The forms keep byte copies of these buffers and compare them, so the images are fixed.
static_assert(sizeof(AppsRecord) == 94);
static_assert(offsetof(AppsRecord, Application) == 80 && offsetof(AppsRecord, Tag) == 92);
static_assert(sizeof(TempFileRecord) == 128);
static_assert(offsetof(TempFileRecord, Date) == 40 && offsetof(TempFileRecord, Clock) == 44 &&
              offsetof(TempFileRecord, Event) == 48);

// ---- Layout tables: what the generic record-file code knows of a record ------------------------

enum class FieldType : std::uint8_t { String, Short, Long };

struct FieldLayout {
  const char* name;  // also the column name in the database
  FieldType type;
  std::uint16_t offset;
  std::uint16_t size;  // bytes in the record
};

inline constexpr int kMaxKeyParts = 4;

struct KeyLayout {
  const char* name;              // also the index name in the database
  int parts[kMaxKeyParts];       // indexes into the file's fields, most significant first
  int part_count;
  bool unique;
  bool ignore_case;              // string parts compare with letter case folded
};

struct FileLayout {
  const char* label;      // the file's name in the program's texts ("Apps")
  const char* disk_name;  // the name of its disk file without extension ("APPS")
  std::uint16_t record_size;
  const FieldLayout* fields;
  int field_count;
  KeyLayout key;
};

extern const FileLayout kAppsLayout;
extern const FileLayout kTempFileLayout;

}  // namespace store
