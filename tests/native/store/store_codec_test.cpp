// The store's codecs without a file: the SQL built from each layout, record positions, and field
// values of every kind another program may have stored.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <cstring>
#include <string>

#include "store/field_codec.h"
#include "store/record_position.h"
#include "store/sql_text.h"

namespace {

using store::KeyPart;
using Kind = store::KeyPart::Kind;

KeyPart Text(const std::string& text, Kind kind = Kind::Text) { return KeyPart{kind, 0, text}; }
KeyPart Number(std::int64_t number) { return KeyPart{Kind::Integer, number, ""}; }

TEST(SqlText, EveryStatementPreparesOnItsOwnSchemaAndKeyStepsSearchTheIndex) {
  const store::SqlText apps(store::kAppsLayout), temp(store::kTempFileLayout);
  EXPECT_NE(apps.layout_version, apps.legacy_version);
  EXPECT_NE(apps.layout_version, temp.layout_version);
  for (const store::FileLayout* layout : {&store::kAppsLayout, &store::kTempFileLayout}) {
    SCOPED_TRACE(layout->label);
    const store::SqlText sql(*layout);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, (sql.create_table + ";" + sql.create_index).c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    int folded = 0;
    for (bool f : sql.folded) folded += f ? 1 : 0;
    for (int id = 0; id < store::kStatementCount; ++id) {
      SCOPED_TRACE(sql.statements[id]);
      sqlite3_stmt* stmt = nullptr;
      ASSERT_EQ(sqlite3_prepare_v2(db, sql.statements[id].c_str(), -1, &stmt, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
      // The writers bind the fields, the folded key texts, then the id and the change counter.
      if (id == store::kUpdateWatched) {
        EXPECT_EQ(sqlite3_bind_parameter_count(stmt), layout->field_count + folded + 2);
      }
      sqlite3_finalize(stmt);
      if (id > store::kKeyBefore) continue;
      // A step in key order is a search through the index, never a scan of the table.
      sqlite3_prepare_v2(db, ("EXPLAIN QUERY PLAN " + sql.statements[id]).c_str(), -1, &stmt, nullptr);
      std::string plan;
      while (sqlite3_step(stmt) == SQLITE_ROW) plan += reinterpret_cast<const char*>(sqlite3_column_text(stmt, 3));
      sqlite3_finalize(stmt);
      EXPECT_NE(plan.find(std::string("INDEX ") + layout->key.name), std::string::npos) << plan;
      EXPECT_EQ(plan.find("TEMP B-TREE"), std::string::npos) << plan;
    }
    sqlite3_close(db);
  }
}

TEST(RecordPosition, KeysOfEveryKindRoundTripAndOneLongerThanItsFieldIsHeldCut) {
  const store::KeyValue apps_key{Text(std::string("C:\\\0\xFF ", 6), Kind::Blob), Text("PAYROLL.APP")};
  store::DecodedPosition out;
  ASSERT_TRUE(store::DecodePosition(store::kAppsLayout, store::EncodePosition(store::kAppsLayout, store::Order::File, -5, apps_key), out));
  EXPECT_EQ(out.order, store::Order::File);
  EXPECT_EQ(out.id, -5);
  EXPECT_EQ(out.key, apps_key);
  EXPECT_FALSE(out.key_cut);

  double real = 1.5;
  KeyPart clock{Kind::Real, 0, ""};
  std::memcpy(&clock.number, &real, sizeof real);
  const store::KeyValue temp_key{Number(-65535), clock};
  ASSERT_TRUE(store::DecodePosition(store::kTempFileLayout, store::EncodePosition(store::kTempFileLayout, store::Order::Key, 7, temp_key), out));
  EXPECT_EQ(out.key, temp_key);

  // A directory of 300 bytes: the position keeps the field's 80 and says the value is the record's.
  const store::KeyValue long_key{Text(std::string(300, 'H')), Text("H.APP")};
  const store::RecordPosition cut = store::EncodePosition(store::kAppsLayout, store::Order::Key, 9, long_key);
  ASSERT_TRUE(store::DecodePosition(store::kAppsLayout, cut, out));
  EXPECT_TRUE(out.key_cut);
  EXPECT_EQ(out.key[0].text, std::string(80, 'H'));
  EXPECT_EQ(out.key[1].text, "H.APP");
  EXPECT_NE(cut, store::EncodePosition(store::kAppsLayout, store::Order::Key, 10, long_key));

  EXPECT_FALSE(store::DecodePosition(store::kAppsLayout, store::RecordPosition(), out));
  EXPECT_FALSE(store::DecodePosition(store::kAppsLayout, store::RecordPosition("K0000000000000001N"), out));
}

TEST(FieldCodec, ValuesOutOfRangeClampWithoutWrappingAndValuesThatDoNotFitSaySo) {
  store::AppsRecord record;
  auto* bytes = reinterpret_cast<unsigned char*>(&record);
  const store::FieldLayout& path = store::kAppsLayout.fields[0];
  const store::FieldLayout& tag = store::kAppsLayout.fields[2];
  struct Case {
    KeyPart stored;
    std::int16_t tag;
    bool fits;
  };
  double real = 1.5;
  KeyPart half{Kind::Real, 0, ""};
  std::memcpy(&half.number, &real, sizeof real);
  for (const Case& c : {Case{Number(65537), 32767, false}, Case{Number(4294967297), 32767, false},
                        Case{Number(-65535), -32768, false}, Case{Number(1), 1, true}, Case{half, 1, false},
                        Case{Text("12abc"), 12, true}}) {
    EXPECT_EQ(store::WriteField(tag, bytes, c.stored), c.fits) << c.stored.number;
    EXPECT_EQ(record.Tag, c.tag) << c.stored.number;
  }
  EXPECT_FALSE(store::WriteField(path, bytes, Text(std::string(81, 'x'), Kind::Blob)));
  EXPECT_EQ(record.DriveNPath.str(), std::string(80, 'x'));
  EXPECT_TRUE(store::WriteField(path, bytes, Number(42)));
  EXPECT_EQ(record.DriveNPath.str(), "42");
  EXPECT_EQ(store::ReadField(path, bytes, false), Text("42"));
  record.DriveNPath = "c:\\caf\xE9";
  EXPECT_EQ(store::ReadField(path, bytes, true), Text("C:\\CAF\xC9"));
}

}  // namespace
