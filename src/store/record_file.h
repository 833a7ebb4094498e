// The record store: one keyed record file on SQLite (RecordFile), its read views in key order
// (View) and the state all files of the process share (Store: current error, lock waits, the
// open transaction). One database file per record file, in the current directory. The procedures,
// OpenRecordFile, the change guard and the browse engine use it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "store/field_codec.h"
#include "store/record_position.h"
#include "store/records.h"
#include "store/sql_text.h"
#include "store/store_errors.h"

struct sqlite3;
struct sqlite3_stmt;

namespace store {

// The extension the store adds to a file's disk name ("APPS" lives in "APPS.db").
inline constexpr const char* kDiskExtension = ".db";

// The time in which the store waits for another process's lock: the steady clock and real sleeps
// in the program (SystemWaitClock). A test gives a clock of its own that moves only by the store's
// sleeps, so that a wait of ten seconds takes none and its length is exact.
class WaitClock {
 public:
  virtual ~WaitClock() = default;
  virtual std::int64_t NowMicroseconds() = 0;
  // Lets `microseconds` pass between two attempts on the lock of `file` (its name, "APPS");
  // `attempt` 0 is the start of a wait.
  virtual void Sleep(const std::string& file, int attempt, std::int64_t microseconds) = 0;
};
WaitClock& SystemWaitClock();

// How long the store waits for a lock that another process holds before it reports 32.
struct StoreTiming {
  // Every operation and a first open wait this long; enough to pass over another station's commit.
  int ordinary_wait_ms = 250;
  // One unit of "Recover=N" and of a transaction's time-out: one second in the program, shorter in
  // tests.
  int second_ms = 1000;
  WaitClock* clock = &SystemWaitClock();
};

class RecordFile;

// What every record file of the process shares.
struct Store {
  StoreErrorState error;  // the outcome of the latest operation on any file
  StoreTiming timing;
  RecordFile* transaction = nullptr;  // the one file framed by the open transaction, if any
};

// A read position within one order: where the next read forward and the next read backward
// continue. Reads are stateless queries from these bounds; nothing stays open between calls.
struct Cursor {
  struct Bound {
    bool open = true;    // no bound: the first (forward) or last (backward) record comes next
    KeyValue key;        // otherwise the record comes strictly after (before) this key and id
    std::int64_t id = 0;
    bool exact = false;  // key and id are those of an existing read record
  };
  Order order = Order::Key;
  Bound forward;
  Bound backward;
  bool has_record = false;  // the record read last through this cursor
  std::int64_t record_id = 0;
  KeyValue record_key;
};

// One record file bound to its record buffer. Every operation sets store().error; a failed read
// leaves the buffer as it was. Not copyable: views and the process state refer to it.
class RecordFile {
 public:
  // `buffer` is the file's one record buffer (layout.record_size bytes) for the whole process.
  RecordFile(Store& store, const FileLayout& layout, void* buffer);
  ~RecordFile();
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;

  const FileLayout& layout() const { return layout_; }
  Store& store() { return store_; }
  // The file's name as messages show it ("APPS").
  std::string Name() const { return layout_.disk_name; }
  // Its disk file in the current directory ("APPS.db").
  std::string DiskName() const { return std::string(layout_.disk_name) + kDiskExtension; }
  bool IsOpen() const { return db_ != nullptr; }
  // The stamp of files written before record ids were kept for life; Open upgrades them in place.
  std::int32_t LegacyLayoutVersion() const { return sql_.legacy_version; }

  // Opens the existing file for shared reading and writing (the program's only open mode) after
  // checking that it is ours and that its key is sound. Codes: 2 missing, 5 access denied,
  // 32 locked (after the lock wait), 46 key damaged (also its index dropped or altered, or the
  // journal switched to WAL: the records are intact), 47 not a file of this layout (another
  // database, another kind of file, an empty file), 52 already open (the file stays open),
  // 90 other file-system errors. On any code but 0 and 52 the file is left closed.
  void Open();
  // Makes the file of this layout empty. A file of ours is emptied in place, in one transaction, so
  // that every station that has it open sees it empty (32 when another station's lock outlasts the
  // wait); any other file of that name is replaced by one built beside (after the old one's journal
  // is deleted so that it cannot be rolled into the new file); a missing one is made (built under a
  // name of its own, so that two stations never meet half-built files), and when another station
  // makes it at the same moment, that one is emptied. 52 when this process has the file open; 5 or
  // 90 from the file system.
  void Create();
  // Makes the file, empty, when there is none; a file of that name (another station may have made
  // it a moment ago) is left as it is. Errors as Create.
  void CreateMissing();
  // Rebuilds the key from the records (on the open file, or opening it for the purpose), making its
  // index anew when it was dropped and putting the rollback journal back. A key whose pages are
  // unreadable is rebuilt by copying the records into a fresh file and writing
  // that back. 47 for a file that is not ours, 32 locked, 46 when the records themselves are
  // unreadable, 90 other errors.
  void Build();
  // A driver instruction. "Recover=N": the next Open waits up to N seconds for a lock held by
  // another process (a dead process's locks vanish by themselves). Others are ignored.
  void Send(std::string_view instruction);
  // Closes the file; an open transaction on it is rolled back. Closing a closed file is no error.
  void Close();
  // Deletes the disk file (the file must be closed: 52). 2 when there is none.
  void Remove();

  // Positions before the first record of `order`: the next Next reads the first record, the next
  // Previous the last.
  void Set(Order order);
  // Positions in key order at the key value standing in the record buffer: Next reads the first
  // record whose key is not less than it, Previous the last whose key is not greater.
  void SetToKeyValue();
  // Read the next / previous record of the current order into the buffer; it becomes the current
  // record. 33 past either end.
  void Next();
  void Previous();
  // The number of records.
  std::int32_t Records();
  // How many records the file holds when that is at most `limit`; otherwise some number above
  // `limit`, not necessarily exact. Ids are never given twice, so a file whose ids span no more than
  // `limit` is counted outright; otherwise 16 short samples of the id range tell how densely its ids
  // are used, and a file that looks more than twice past `limit` is not counted at all. Anything
  // else is counted no further than `limit` + 1. So a file far past the limit costs a few searches,
  // and no file costs more than counting `limit` + 1 records.
  std::int64_t RecordsUpTo(std::int64_t limit);
  // Whether FindKeyPrefix serves this file: a key of two text parts.
  bool FindsKeyPrefix() const;
  // Type-ahead over a key of two text parts (a folder and a name): reads the first record in key
  // order, from the key value standing in the buffer (after it when `after`), whose first or second
  // key part begins with `prefix` (folded like the key when it ignores case), going round to the
  // first record when none follows; it becomes the current record. 33 when no record answers.
  // Only the key's index is searched: first parts by one search, second parts by two searches for
  // each distinct first part passed over, so the cost grows with the folders, never with the
  // records.
  void FindKeyPrefix(std::string_view prefix, bool after);
  // The keys of the records at `ranks` of the key order (0 the first; ascending), read in one pass
  // over the key's index: for each rank in turn the key is written into the record buffer's key
  // fields (a case-insensitive key's texts folded as the index holds them) and `each` is called.
  // The buffer's other fields are left as they are and no record becomes current. 33 when the file
  // holds fewer records than the last rank asks for (another station deleted some): `each` is then
  // not called at all.
  void KeysAtRanks(const std::vector<std::int64_t>& ranks, const std::function<void()>& each);
  // A number that changes whenever another connection (another station, another program) has
  // committed a change to the file since the last call; this connection's own writes leave it as
  // it is. -1 when it cannot be read. A cheap look, for lists that watch the file while idle.
  std::int64_t ChangeCounter();

  // The position of the current record in `order`; blank and 33 when there is no current record.
  RecordPosition Position(Order order);
  // Positions `order` so that the next read in either direction returns the record at `position`
  // (or, when it is gone, its neighbour in that direction).
  void Reset(Order order, const RecordPosition& position);
  // Reads the record at `position` into the buffer; 33 when it no longer exists, and then no record
  // is current (a Put or Delete fails with 33 rather than reach another record).
  void Reread(const RecordPosition& position);
  // Drops the current record: no record is current until the next read.
  void ForgetCurrent();
  // Arms the change guard for the next read: a Put or Delete of the record read then fails with 89
  // when another process (or connection) has changed or deleted it meanwhile.
  void Watch();

  // Adds the buffer as a new record, which becomes current. 40 when the unique key would be
  // duplicated.
  void Add();
  // Writes the buffer over the current record. 33 no current record (or it was deleted, also by
  // another station while watched), 89 see Watch (changed, not deleted), 40 duplicate key, 48 when
  // a field still holds the cut image of a longer stored value (written by another program).
  void Put();
  // Deletes the current record. 33 no current record (or already deleted), 89 see Watch.
  void Delete();
  // True when another record than the current one holds the key value standing in the buffer.
  bool Duplicate();

  // A transaction over this file alone, waiting up to `time_out` seconds for other writers and
  // readers. 32 when the wait runs out, 56 when a transaction is open already.
  void BeginTransaction(int time_out);
  // 32 when other readers keep the commit waiting too long: the transaction is then still open and
  // must be rolled back.
  void Commit();
  // Undoes the transaction; the current record is what it was when the transaction began.
  void Rollback();

 private:
  friend class View;
  struct Current {
    bool valid = false;
    std::int64_t id = 0;
    std::int64_t chg = 0;  // the record's change counter when it was read or written
    KeyValue key;
    // Fields whose stored value did not fit the buffer (bit i: field i), and the buffer as it was
    // read, so that a Put never writes a cut value back in the stored one's place.
    std::uint32_t cut_fields = 0;
    std::string image;
  };

  void Fail(std::int32_t code);
  void FailSqlite(int rc);
  void Succeed();
  bool RequireOpen();
  sqlite3_stmt* Prepared(StatementId id);
  int Exec(const char* sql);
  int OpenConnection(const std::string& path);
  void CloseConnection();
  int CheckStamps();
  int CheckKey();
  int UpgradeLegacyLayout();
  int EmptyInPlace();
  void MakeMissing(bool keep_other);
  bool BuildBeside(std::string& fresh);
  bool Exists(std::int64_t id);
  int RebuildByCopy();
  static int BusyHandler(void* self, int count);
  int OnBusy(int count);

  int CheckSchema();
  int MendSchema();

  bool PrefixSearch(const KeyValue& from, const KeyPart& prefix, const KeyPart& prefix_end,
                    const KeyPart& last_folder, KeyValue& found);
  void ReadStep(Cursor& cursor, bool forward);
  int FetchStep(Cursor& cursor, bool forward);
  void LoadRow(sqlite3_stmt* stmt);
  void BindKey(sqlite3_stmt* stmt, const KeyValue& key, int first);
  void BindRecord(sqlite3_stmt* stmt);
  bool WouldCutStoredValue() const;
  KeyValue BufferKey() const;
  bool DecodeFor(const RecordPosition& position, DecodedPosition& out);
  static void PlaceAt(Cursor& cursor, Order order, std::int64_t id, const KeyValue& key);

  Store& store_;
  const FileLayout& layout_;
  unsigned char* buffer_;
  sqlite3* db_ = nullptr;
  std::vector<sqlite3_stmt*> statements_;
  const SqlText sql_;

  Cursor cursor_;  // the file's own sequence
  Current current_;
  bool watch_armed_ = false;
  bool watched_ = false;  // the current record was read with the watch armed
  Current saved_current_;  // at the start of the transaction
  bool saved_watched_ = false;

  int lock_wait_ms_ = 0;     // the wait of the statement running now
  int recover_wait_ms_ = 0;  // armed by "Recover=N" for the next Open
  std::int64_t wait_started_us_ = 0;
};

// A read cursor over one open file in key order, as the list browse uses it. Its reads load the
// file's record buffer and make the record current in the file, so a Put or Delete follows.
class View {
 public:
  explicit View(RecordFile& file) : file_(file) {}

  // Opening needs the file open (37 otherwise); the view then stands before the first record.
  void Open();
  void Close() { open_ = false; }
  bool IsOpen() const { return open_; }
  void Set();            // before the first record of the key order (and after the last)
  void SetToKeyValue();  // as RecordFile::SetToKeyValue
  void Next();
  void Previous();
  // The position of the record the view read last; blank and 33 when none.
  RecordPosition Position();
  void Reset(const RecordPosition& position);
  void Reread(const RecordPosition& position) { file_.Reread(position); }
  void Watch() { file_.Watch(); }

 private:
  bool RequireOpen();
  RecordFile& file_;
  Cursor cursor_;
  bool open_ = false;
};

// Deletes the plain file `name` (the program's output-file handle). 2 when there is none; 5 or 90
// when the file system refuses.
void RemovePlainFile(Store& store, const std::string& name);

}  // namespace store
