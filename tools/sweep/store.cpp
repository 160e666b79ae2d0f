// store.cpp: the SQLite database of a sweep and the lock that keeps a
// second run off it.
//
// A database of this tool carries PRAGMA application_id 'GPSW' and holds
// the table `results` (one row per set, instance and combination, the key
// unique) and the table `runs`. It runs in WAL mode with synchronous=NORMAL:
// a commit is atomic and survives the process being killed, and `report`
// can read while a run writes. Any other file is refused as a UsageError.
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <tuple>

#include "sweep.h"

namespace sweep {
namespace {

constexpr int application_id = 0x47505357;  // "GPSW"

const char* const schema =
    "CREATE TABLE results ("
    " set_dir TEXT NOT NULL, instance INTEGER NOT NULL, source TEXT NOT NULL,"
    " activities INTEGER, arcs INTEGER,"
    " pctneg INTEGER NOT NULL, deadext INTEGER NOT NULL, interest REAL NOT NULL,"
    " outcome TEXT NOT NULL, npv REAL, passes INTEGER,"
    " solve_seconds REAL, read_seconds REAL, certificate TEXT,"
    " UNIQUE (set_dir, instance, pctneg, deadext, interest));"
    "CREATE TABLE runs (id INTEGER PRIMARY KEY, version TEXT NOT NULL, host TEXT NOT NULL,"
    " command TEXT NOT NULL, started TEXT NOT NULL, ended TEXT);";

}  // namespace

bool Key::operator<(const Key& o) const {
  return std::tie(set_dir, instance, pctneg, deadext, interest) <
         std::tie(o.set_dir, o.instance, o.pctneg, o.deadext, o.interest);
}

Database::Database(const std::string& path, bool create, bool readonly) : path_(path) {
  // A connection is used by one thread only: no mutex around each call.
  int flags = SQLITE_OPEN_NOMUTEX | (readonly ? SQLITE_OPEN_READONLY
                                              : SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0));
  if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
    std::string why = db_ ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close(db_);
    db_ = nullptr;
    throw UsageError(path + ": cannot open (" + why + ")");
  }
  sqlite3_busy_timeout(db_, 10000);
  try {
    int app = 0, tables = 0;
    {
      Statement s(db_, "PRAGMA application_id");
      if (s.step()) app = sqlite3_column_int(s.get(), 0);
    }
    {
      Statement s(db_, "SELECT count(*) FROM sqlite_master");
      if (s.step()) tables = sqlite3_column_int(s.get(), 0);
    }
    if (app != application_id && !(app == 0 && tables == 0))
      throw UsageError(path + ": not a gprnpv-sweep database (it holds other data)");
    if (!readonly) {
      exec("PRAGMA journal_mode=WAL");
      exec("PRAGMA synchronous=NORMAL");
    }
    if (app == 0) {
      if (!create) throw UsageError(path + ": empty, not a gprnpv-sweep database yet");
      exec("BEGIN IMMEDIATE");
      // Another process may have created it meanwhile: look again inside.
      Statement s(db_, "SELECT count(*) FROM sqlite_master");
      if (s.step() && sqlite3_column_int(s.get(), 0) == 0) {
        exec(schema);
        exec("PRAGMA application_id=" + std::to_string(application_id));
      }
      exec("COMMIT");
    }
  } catch (const std::exception& e) {
    sqlite3_close(db_);
    db_ = nullptr;
    if (dynamic_cast<const UsageError*>(&e)) throw;
    throw UsageError(path + ": " + e.what());
  }
}

Database::~Database() {
  if (db_) sqlite3_close(db_);
}

void Database::exec(const std::string& sql) {
  char* msg = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &msg) != SQLITE_OK) {
    std::string why = msg ? msg : sqlite3_errmsg(db_);
    sqlite3_free(msg);
    throw std::runtime_error(why);
  }
}

Statement::Statement(sqlite3* db, const std::string& sql) {
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st_, nullptr) != SQLITE_OK)
    throw std::runtime_error(sqlite3_errmsg(db));
}

Statement::~Statement() { sqlite3_finalize(st_); }

bool Statement::step() {
  int rc = sqlite3_step(st_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  throw std::runtime_error(sqlite3_errmsg(sqlite3_db_handle(st_)));
}

void Statement::reset() {
  sqlite3_reset(st_);
  sqlite3_clear_bindings(st_);
}

RunLock::RunLock(const std::string& db_path) {
  std::string name = db_path + ".lock";
  fd_ = open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ < 0) throw UsageError(name + ": " + std::strerror(errno));
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  if (fcntl(fd_, F_SETLK, &fl) == 0) return;
  struct flock who {};
  who.l_type = F_WRLCK;
  who.l_whence = SEEK_SET;
  std::string holder;
  if (fcntl(fd_, F_GETLK, &who) == 0 && who.l_type != F_UNLCK)
    holder = " (process " + std::to_string(who.l_pid) + ")";
  close(fd_);
  fd_ = -1;
  throw UsageError(db_path + " is in use by another gprnpv-sweep run" + holder +
                   "; run again when it has ended");
}

RunLock::~RunLock() {
  if (fd_ >= 0) close(fd_);
}

}  // namespace sweep
