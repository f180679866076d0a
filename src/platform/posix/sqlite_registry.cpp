#include "platform/posix/sqlite_registry.h"

#include <sys/stat.h>

#include <pwd.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "platform/posix/fold_case.h"
#include "platform/utf8.h"

namespace netvane::platform {
namespace {

constexpr int kBusyTimeoutMs = 30000;
// A snapshot older than this is dropped at the next operation, so that a handle kept open
// for long still sees what other processes wrote meanwhile.
constexpr auto kSnapshotLifetime = std::chrono::milliseconds(50);
constexpr int kApplicationId = 0x4E565247;  // "NVRG"

const char* const kRootNames[2] = {"HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"};

std::string CutAtNul(const std::string& s) {
  const size_t nul = s.find('\0');
  return nul == std::string::npos ? s : s.substr(0, nul);
}

bool IsTextType(uint32_t type) {
  return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

// Hands `bytes` to a caller's data buffer with the Win32 size protocol.
int32_t Deliver(const std::string& bytes, uint8_t* data, uint32_t* data_size) {
  const auto n = static_cast<uint32_t>(bytes.size());
  if (data_size == nullptr) return data == nullptr ? kErrorSuccess : kErrorInvalidParameter;
  if (data == nullptr) {
    *data_size = n;
    return kErrorSuccess;
  }
  if (*data_size < n) {
    *data_size = n;
    return kErrorMoreData;
  }
  std::copy(bytes.begin(), bytes.end(), data);
  *data_size = n;
  return kErrorSuccess;
}

// Copies a name into a caller's buffer: `size` is the buffer size on entry and the name
// length on success.
int32_t DeliverName(const std::string& ansi, char* name, uint32_t* size) {
  if (name == nullptr || size == nullptr) return kErrorInvalidParameter;
  if (*size < ansi.size() + 1) return kErrorMoreData;
  std::memcpy(name, ansi.data(), ansi.size());
  name[ansi.size()] = '\0';
  *size = static_cast<uint32_t>(ansi.size());
  return kErrorSuccess;
}

void BindBlob(sqlite3_stmt* st, int i, std::string_view s) {
  sqlite3_bind_blob(st, i, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

std::string ColumnBlob(sqlite3_stmt* st, int i) {
  const void* p = sqlite3_column_blob(st, i);
  const int n = sqlite3_column_bytes(st, i);
  return p ? std::string(static_cast<const char*>(p), static_cast<size_t>(n)) : std::string();
}

// Resets a statement when the scope ends, whatever path leaves it.
class StatementScope {
 public:
  explicit StatementScope(sqlite3_stmt* st) : st_(st) {}
  ~StatementScope() {
    sqlite3_reset(st_);
    sqlite3_clear_bindings(st_);
  }
  StatementScope(const StatementScope&) = delete;
  StatementScope& operator=(const StatementScope&) = delete;

 private:
  sqlite3_stmt* st_;
};

}  // namespace

std::string DefaultRegistryPath() {
  if (const char* env = std::getenv("NETVANE_REGISTRY"); env != nullptr && *env != '\0') {
    return env;
  }
  std::string base;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
      const passwd* pw = getpwuid(getuid());
      home = pw != nullptr ? pw->pw_dir : "/tmp";
    }
    base = std::string(home) + "/.local/share";
  }
  return base + "/netvane/registry.db";
}

SqliteRegistry::SqliteRegistry(const std::string& path, const CodePage& codepage)
    : path_(path), codepage_(codepage) {
  if (!Open()) {
    for (auto& [sql, st] : statements_) sqlite3_finalize(st);
    statements_.clear();
    if (db_ != nullptr) sqlite3_close(db_);
    db_ = nullptr;
  }
}

SqliteRegistry::~SqliteRegistry() {
  if (db_ == nullptr) return;
  if (batch_) RollbackBatch();
  if (in_read_) Exec("COMMIT");
  for (auto& [sql, st] : statements_) sqlite3_finalize(st);
  sqlite3_close(db_);
}

bool SqliteRegistry::Open() {
  std::error_code ec;
  const std::filesystem::path file(path_);
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ec);
  if (ec) {
    error_ = "cannot create the folder of the registry file " + path_ + ": " + ec.message();
    return false;
  }
  const int rc =
      sqlite3_open_v2(path_.c_str(), &db_,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    error_ = "cannot open the registry file " + path_ + ": " +
             (db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc));
    return false;
  }
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  sqlite3_extended_result_codes(db_, 0);
  // Switching a file that another process is still creating to WAL turns a read lock into a
  // write lock, and there SQLite answers "busy" at once instead of calling the busy handler.
  if (!Exec("PRAGMA journal_mode=WAL", true) || !Exec("PRAGMA synchronous=NORMAL")) return false;

  // An existing file must be one of ours.
  sqlite3_stmt* st = Prepare("PRAGMA application_id");
  if (st == nullptr) return false;
  int app_id = 0;
  {
    StatementScope scope(st);
    if (sqlite3_step(st) == SQLITE_ROW) app_id = sqlite3_column_int(st, 0);
  }
  if (app_id != 0 && app_id != kApplicationId) {
    error_ = path_ + " is an SQLite file but not a Netvane registry";
    return false;
  }
  // A file of ours already has its tables and roots: no write transaction at every start.
  if (app_id == kApplicationId && FindRoots()) return true;
  if (!Exec("BEGIN IMMEDIATE")) return false;
  const bool created =
      Exec(
          "CREATE TABLE IF NOT EXISTS keys("
          " id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER, name BLOB NOT NULL,"
          " fold BLOB NOT NULL, path BLOB NOT NULL UNIQUE)") &&
      Exec("CREATE INDEX IF NOT EXISTS keys_by_parent ON keys(parent, fold)") &&
      Exec(
          "CREATE TABLE IF NOT EXISTS vals("
          " seq INTEGER PRIMARY KEY AUTOINCREMENT, key INTEGER NOT NULL, name BLOB NOT NULL,"
          " fold BLOB NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL,"
          " UNIQUE(key, fold))") &&
      Exec(("PRAGMA application_id=" + std::to_string(kApplicationId)).c_str());
  if (!created) {
    Exec("ROLLBACK");
    return false;
  }
  for (int i = 0; i < 2; ++i) {
    sqlite3_stmt* ins =
        Prepare("INSERT OR IGNORE INTO keys(parent, name, fold, path) VALUES(NULL, ?1, ?1, ?1)");
    sqlite3_stmt* sel = Prepare("SELECT id FROM keys WHERE path = ?1");
    if (ins == nullptr || sel == nullptr) {
      Exec("ROLLBACK");
      return false;
    }
    {
      StatementScope scope(ins);
      BindBlob(ins, 1, kRootNames[i]);
      sqlite3_step(ins);
    }
    StatementScope scope(sel);
    BindBlob(sel, 1, kRootNames[i]);
    if (sqlite3_step(sel) != SQLITE_ROW) {
      error_ = "the registry file " + path_ + " has no root keys: " + sqlite3_errmsg(db_);
      Exec("ROLLBACK");
      return false;
    }
    roots_[i].key_id = sqlite3_column_int64(sel, 0);
    roots_[i].path = kRootNames[i];
    roots_[i].access = kKeyAllAccess;
  }
  return Exec("COMMIT");
}

bool SqliteRegistry::FindRoots() {
  sqlite3_stmt* sel = Prepare("SELECT id FROM keys WHERE path = ?1");
  if (sel == nullptr) return false;
  for (int i = 0; i < 2; ++i) {
    StatementScope scope(sel);
    BindBlob(sel, 1, kRootNames[i]);
    if (sqlite3_step(sel) != SQLITE_ROW) return false;
    roots_[i].key_id = sqlite3_column_int64(sel, 0);
    roots_[i].path = kRootNames[i];
    roots_[i].access = kKeyAllAccess;
  }
  return true;
}

bool SqliteRegistry::Exec(const char* sql, bool wait_when_busy) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
  auto pause = std::chrono::milliseconds(1);
  char* msg = nullptr;
  int rc;
  while ((rc = sqlite3_exec(db_, sql, nullptr, nullptr, &msg)) == SQLITE_BUSY && wait_when_busy &&
         std::chrono::steady_clock::now() < deadline) {
    sqlite3_free(msg);
    msg = nullptr;
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::milliseconds(50));
  }
  if (rc != SQLITE_OK) {
    error_ = std::string("registry file ") + path_ + ": " + (msg ? msg : sqlite3_errstr(rc));
    sqlite3_free(msg);
    return false;
  }
  return true;
}

int SqliteRegistry::Step(const char* sql) {
  sqlite3_stmt* st = Prepare(sql);
  if (st == nullptr) return SQLITE_ERROR;
  const int rc = sqlite3_step(st);
  sqlite3_reset(st);
  return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

sqlite3_stmt* SqliteRegistry::Prepare(const char* sql) {
  auto it = statements_.find(sql);
  if (it != statements_.end()) return it->second;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr) != SQLITE_OK) {
    error_ = std::string("registry file ") + path_ + ": " + sqlite3_errmsg(db_);
    return nullptr;
  }
  statements_.emplace(sql, st);
  return st;
}

int32_t SqliteRegistry::MapError(int rc) const {
  switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_DONE:
    case SQLITE_ROW:
      return kErrorSuccess;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return kErrorBusy;
    case SQLITE_FULL:
      return kErrorDiskFull;
    case SQLITE_NOMEM:
      return kErrorOutOfMemory;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      return kErrorRegistryCorrupt;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return kErrorAccessDenied;
    default:
      return kErrorRegistryIoFailed;
  }
}

int32_t SqliteRegistry::BeginRead() {
  if (db_ == nullptr) return kErrorRegistryIoFailed;
  if (batch_) return kErrorSuccess;
  const auto now = std::chrono::steady_clock::now();
  if (in_read_ && (group_read_ || now - read_started_ < kSnapshotLifetime)) {
    return kErrorSuccess;
  }
  if (in_read_) {
    Step("COMMIT");
    in_read_ = false;
  }
  const int rc = Step("BEGIN");
  if (rc != SQLITE_OK) return MapError(rc);
  in_read_ = true;
  read_started_ = now;
  ++gen_;
  return kErrorSuccess;
}

void SqliteRegistry::EndReadIfIdle() {
  if (!in_read_ || batch_ || group_read_ || !handles_.empty()) return;
  Step("COMMIT");
  in_read_ = false;
  ++gen_;
}

int32_t SqliteRegistry::Write(const std::function<int32_t()>& body) {
  if (db_ == nullptr) return kErrorRegistryIoFailed;
  if (batch_) {
    const int32_t r = body();
    ++gen_;
    return r;
  }
  if (in_read_) {
    Step("COMMIT");
    in_read_ = false;
  }
  int rc = Step("BEGIN IMMEDIATE");
  if (rc != SQLITE_OK) return MapError(rc);
  int32_t r = body();
  if (r == kErrorSuccess) {
    rc = Step("COMMIT");
    if (rc != SQLITE_OK) {
      r = MapError(rc);
      Step("ROLLBACK");
    }
  } else {
    Step("ROLLBACK");
  }
  ++gen_;
  return r;
}

int32_t SqliteRegistry::BeginBatch() {
  if (db_ == nullptr) return kErrorRegistryIoFailed;
  if (batch_) return kErrorInvalidParameter;
  if (in_read_) {
    Step("COMMIT");
    in_read_ = false;
  }
  const int rc = Step("BEGIN IMMEDIATE");
  if (rc != SQLITE_OK) return MapError(rc);
  batch_ = true;
  ++gen_;
  return kErrorSuccess;
}

int32_t SqliteRegistry::CommitBatch() {
  if (!batch_) return kErrorInvalidParameter;
  const int rc = Step("COMMIT");
  if (rc != SQLITE_OK) {
    Step("ROLLBACK");
  }
  batch_ = false;
  ++gen_;
  return MapError(rc);
}

void SqliteRegistry::RollbackBatch() {
  if (!batch_) return;
  Step("ROLLBACK");
  batch_ = false;
  ++gen_;
}

void SqliteRegistry::BeginGroup(bool write) {
  if (db_ == nullptr) return;
  ++group_depth_;
  if (write && !batch_) {
    // A writing group inside a reading one takes the write lock from here on.
    group_read_ = false;
    group_batch_ = BeginBatch() == kErrorSuccess;
  } else if (group_depth_ == 1 && !batch_) {
    group_read_ = true;
  }
}

int32_t SqliteRegistry::EndGroup() {
  if (group_depth_ == 0) return kErrorSuccess;
  if (--group_depth_ > 0) return kErrorSuccess;
  int32_t r = kErrorSuccess;
  if (group_batch_) {
    group_batch_ = false;
    r = CommitBatch();
  }
  group_read_ = false;
  EndReadIfIdle();
  return r;
}

bool SqliteRegistry::IsRoot(RegHandle h) const {
  return h == kHkeyCurrentUser || h == kHkeyLocalMachine;
}

SqliteRegistry::Handle* SqliteRegistry::Find(RegHandle h) {
  if (db_ == nullptr) return nullptr;
  if (h == kHkeyCurrentUser) return &roots_[0];
  if (h == kHkeyLocalMachine) return &roots_[1];
  auto it = handles_.find(h);
  return it == handles_.end() ? nullptr : &it->second;
}

RegHandle SqliteRegistry::NewHandle(int64_t id, std::string path, uint32_t access) {
  const RegHandle h = next_handle_;
  next_handle_ += 4;
  Handle& entry = handles_[h];
  entry.key_id = id;
  entry.path = std::move(path);
  entry.access = access;
  return h;
}

int32_t SqliteRegistry::Resolve(RegHandle parent, const std::string& ansi_path,
                                std::string* full_path, std::vector<std::string>* components) {
  const Handle* p = Find(parent);
  if (p == nullptr) return db_ == nullptr ? kErrorRegistryIoFailed : kErrorInvalidHandle;
  std::string path = codepage_.FromAnsi(CutAtNul(ansi_path));
  if (!path.empty() && path.back() == '\\') path.pop_back();
  *full_path = p->path;
  if (path.empty()) return kErrorSuccess;
  if (path.front() == '\\' || path.find("\\\\") != std::string::npos) return kErrorBadPathname;
  *full_path += '\\';
  *full_path += FoldCase(path);
  if (components != nullptr) {
    size_t start = 0;
    while (true) {
      const size_t end = path.find('\\', start);
      components->push_back(path.substr(start, end - start));
      if (end == std::string::npos) break;
      start = end + 1;
    }
  }
  return kErrorSuccess;
}

int32_t SqliteRegistry::LookupKey(const std::string& full_path, int64_t* id) {
  sqlite3_stmt* st = Prepare("SELECT id FROM keys WHERE path = ?1");
  if (st == nullptr) return kErrorRegistryIoFailed;
  StatementScope scope(st);
  BindBlob(st, 1, full_path);
  const int rc = sqlite3_step(st);
  if (rc == SQLITE_ROW) {
    *id = sqlite3_column_int64(st, 0);
    return kErrorSuccess;
  }
  return rc == SQLITE_DONE ? kErrorFileNotFound : MapError(rc);
}

bool SqliteRegistry::KeyExists(int64_t id) {
  sqlite3_stmt* st = Prepare("SELECT 1 FROM keys WHERE id = ?1");
  if (st == nullptr) return false;
  StatementScope scope(st);
  sqlite3_bind_int64(st, 1, id);
  return sqlite3_step(st) == SQLITE_ROW;
}

int32_t SqliteRegistry::LoadLists(Handle& h) {
  if (const int32_t r = BeginRead(); r != kErrorSuccess) return r;
  if (h.cache_gen == gen_) return kErrorSuccess;
  h.subkeys.clear();
  h.values.clear();
  sqlite3_stmt* keys = Prepare("SELECT name FROM keys WHERE parent = ?1 ORDER BY fold");
  sqlite3_stmt* vals =
      Prepare("SELECT name, fold, type, data FROM vals WHERE key = ?1 ORDER BY seq");
  if (keys == nullptr || vals == nullptr) return kErrorRegistryIoFailed;
  int rc;
  {
    StatementScope scope(keys);
    sqlite3_bind_int64(keys, 1, h.key_id);
    while ((rc = sqlite3_step(keys)) == SQLITE_ROW) h.subkeys.push_back(ColumnBlob(keys, 0));
    if (rc != SQLITE_DONE) return MapError(rc);
  }
  {
    StatementScope scope(vals);
    sqlite3_bind_int64(vals, 1, h.key_id);
    while ((rc = sqlite3_step(vals)) == SQLITE_ROW) {
      Value v;
      v.name = ColumnBlob(vals, 0);
      v.fold = ColumnBlob(vals, 1);
      v.type = static_cast<uint32_t>(sqlite3_column_int64(vals, 2));
      v.data = ColumnBlob(vals, 3);
      h.values.push_back(std::move(v));
    }
    if (rc != SQLITE_DONE) return MapError(rc);
  }
  if (h.subkeys.empty() && h.values.empty() && !KeyExists(h.key_id)) return kErrorKeyDeleted;
  h.cache_gen = gen_;
  return kErrorSuccess;
}

std::string SqliteRegistry::ToStored(uint32_t type, std::string_view ansi) const {
  if (IsTextType(type) && !codepage_.IsUtf8()) return codepage_.FromAnsi(ansi);
  return std::string(ansi);
}

std::string SqliteRegistry::ToAnsiData(const Value& v) const {
  if (IsTextType(v.type) && !codepage_.IsUtf8()) return codepage_.ToAnsi(v.data);
  return v.data;
}

int32_t SqliteRegistry::CreateKey(RegHandle parent, const std::string& path, RegHandle* result) {
  if (result == nullptr) return kErrorInvalidParameter;
  std::string full;
  std::vector<std::string> components;
  int32_t r = Resolve(parent, path, &full, &components);
  if (r != kErrorSuccess) return r;
  for (const std::string& name : components) {
    if (Utf16Length(name) > kMaxKeyNameLength) return kErrorInvalidParameter;
  }
  const Handle* parent_handle = Find(parent);
  const auto parent_depth =
      static_cast<size_t>(std::count(parent_handle->path.begin(), parent_handle->path.end(), '\\'));
  if (parent_depth + components.size() > kMaxKeyDepth) return kErrorNoSystemResources;
  const int64_t base_id = parent_handle->key_id;
  const std::string base_path = parent_handle->path;
  const uint32_t base_access = parent_handle->access;
  int64_t id = 0;
  r = BeginRead();
  if (r == kErrorSuccess) r = LookupKey(full, &id);
  if (r == kErrorFileNotFound) {
    if ((base_access & kKeyCreateSubKey) == 0) {
      r = kErrorAccessDenied;
    } else {
      r = Write([&]() -> int32_t {
        if (!KeyExists(base_id)) return kErrorKeyDeleted;
        sqlite3_stmt* ins =
            Prepare("INSERT INTO keys(parent, name, fold, path) VALUES(?1, ?2, ?3, ?4)");
        if (ins == nullptr) return kErrorRegistryIoFailed;
        int64_t cur = base_id;
        std::string cur_path = base_path;
        for (const std::string& name : components) {
          const std::string fold = FoldCase(name);
          cur_path += '\\';
          cur_path += fold;
          int64_t child = 0;
          const int32_t found = LookupKey(cur_path, &child);
          if (found == kErrorFileNotFound) {
            StatementScope scope(ins);
            sqlite3_bind_int64(ins, 1, cur);
            BindBlob(ins, 2, name);
            BindBlob(ins, 3, fold);
            BindBlob(ins, 4, cur_path);
            const int rc = sqlite3_step(ins);
            if (rc != SQLITE_DONE) return MapError(rc);
            child = sqlite3_last_insert_rowid(db_);
          } else if (found != kErrorSuccess) {
            return found;
          }
          cur = child;
        }
        id = cur;
        return kErrorSuccess;
      });
    }
  }
  if (r == kErrorSuccess) *result = NewHandle(id, full, kKeyAllAccess);
  EndReadIfIdle();
  return r;
}

int32_t SqliteRegistry::OpenKeyEx(RegHandle parent, const std::string& path, uint32_t access,
                                  RegHandle* result) {
  if (result == nullptr) return kErrorInvalidParameter;
  std::string full;
  int32_t r = Resolve(parent, path, &full, nullptr);
  int64_t id = 0;
  if (r == kErrorSuccess) r = BeginRead();
  if (r == kErrorSuccess) r = LookupKey(full, &id);
  if (r == kErrorSuccess) *result = NewHandle(id, full, access);
  EndReadIfIdle();
  return r;
}

int32_t SqliteRegistry::QueryInfoKey(RegHandle key, uint32_t* subkeys, uint32_t* values) {
  Handle* h = Find(key);
  if (h == nullptr) return db_ == nullptr ? kErrorRegistryIoFailed : kErrorInvalidHandle;
  if ((h->access & kKeyQueryValue) == 0) return kErrorAccessDenied;
  const int32_t r = LoadLists(*h);
  if (r == kErrorSuccess) {
    if (subkeys != nullptr) *subkeys = static_cast<uint32_t>(h->subkeys.size());
    if (values != nullptr) *values = static_cast<uint32_t>(h->values.size());
  }
  EndReadIfIdle();
  return r;
}

int32_t SqliteRegistry::EnumKeyEx(RegHandle key, uint32_t index, char* name, uint32_t* name_size,
                                  char* class_name, uint32_t* class_size) {
  Handle* h = Find(key);
  if (h == nullptr) return db_ == nullptr ? kErrorRegistryIoFailed : kErrorInvalidHandle;
  if ((h->access & kKeyEnumerateSubKeys) == 0) return kErrorAccessDenied;
  int32_t r = LoadLists(*h);
  if (r == kErrorSuccess) {
    if (index >= h->subkeys.size()) {
      r = kErrorNoMoreItems;
    } else {
      r = DeliverName(codepage_.ToAnsi(h->subkeys[index]), name, name_size);
      if (r == kErrorSuccess && class_name != nullptr && class_size != nullptr) {
        if (*class_size > 0) class_name[0] = '\0';
        *class_size = 0;
      }
    }
  }
  EndReadIfIdle();
  return r;
}

int32_t SqliteRegistry::EnumValue(RegHandle key, uint32_t index, char* name, uint32_t* name_size,
                                  uint32_t* type, uint8_t* data, uint32_t* data_size) {
  Handle* h = Find(key);
  if (h == nullptr) return db_ == nullptr ? kErrorRegistryIoFailed : kErrorInvalidHandle;
  if ((h->access & kKeyQueryValue) == 0) return kErrorAccessDenied;
  int32_t r = LoadLists(*h);
  if (r == kErrorSuccess) {
    if (index >= h->values.size()) {
      r = kErrorNoMoreItems;
    } else {
      const Value& v = h->values[index];
      r = DeliverName(codepage_.ToAnsi(v.name), name, name_size);
      if ((r == kErrorSuccess || r == kErrorMoreData) && type != nullptr) *type = v.type;
      if (r == kErrorSuccess) {
        r = Deliver(ToAnsiData(v), data, data_size);
      } else if (r == kErrorMoreData && data_size != nullptr) {
        // As on Windows, a name too long for its buffer still reports the data size needed.
        *data_size = static_cast<uint32_t>(ToAnsiData(v).size());
      }
    }
  }
  EndReadIfIdle();
  return r;
}

int32_t SqliteRegistry::QueryValueEx(RegHandle key, const std::string& name, uint32_t* type,
                                     uint8_t* data, uint32_t* data_size) {
  Handle* h = Find(key);
  if (h == nullptr) return db_ == nullptr ? kErrorRegistryIoFailed : kErrorInvalidHandle;
  if ((h->access & kKeyQueryValue) == 0) return kErrorAccessDenied;
  int32_t r = LoadLists(*h);
  if (r == kErrorSuccess) {
    const std::string fold = FoldCase(codepage_.FromAnsi(CutAtNul(name)));
    r = kErrorFileNotFound;
    for (const Value& v : h->values) {
      if (v.fold != fold) continue;
      if (type != nullptr) *type = v.type;
      r = Deliver(ToAnsiData(v), data, data_size);
      break;
    }
  }
  EndReadIfIdle();
  return r;
}

int32_t SqliteRegistry::SetValueEx(RegHandle key, const std::string& name, uint32_t type,
                                   const uint8_t* data, uint32_t size) {
  Handle* h = Find(key);
  if (h == nullptr) return db_ == nullptr ? kErrorRegistryIoFailed : kErrorInvalidHandle;
  if ((h->access & kKeySetValue) == 0) return kErrorAccessDenied;
  if (data == nullptr && size > 0) return kErrorInvalidParameter;
  const std::string utf8_name = codepage_.FromAnsi(CutAtNul(name));
  if (Utf16Length(utf8_name) > kMaxValueNameLength) return kErrorInvalidParameter;
  const std::string fold = FoldCase(utf8_name);
  const std::string stored =
      ToStored(type, size > 0 ? std::string_view(reinterpret_cast<const char*>(data), size)
                              : std::string_view());
  const int64_t id = h->key_id;
  const int32_t r = Write([&]() -> int32_t {
    if (!KeyExists(id)) return kErrorKeyDeleted;
    sqlite3_stmt* st = Prepare(
        "INSERT INTO vals(key, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5)"
        " ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data");
    if (st == nullptr) return kErrorRegistryIoFailed;
    StatementScope scope(st);
    sqlite3_bind_int64(st, 1, id);
    BindBlob(st, 2, utf8_name);
    BindBlob(st, 3, fold);
    sqlite3_bind_int64(st, 4, type);
    BindBlob(st, 5, stored);
    return MapError(sqlite3_step(st));
  });
  EndReadIfIdle();
  return r;
}

int32_t SqliteRegistry::DeleteKey(RegHandle parent, const std::string& path) {
  std::string full;
  int32_t r = Resolve(parent, path, &full, nullptr);
  if (r != kErrorSuccess) return r;
  if (full == kRootNames[0] || full == kRootNames[1]) return kErrorAccessDenied;
  r = Write([&]() -> int32_t {
    int64_t id = 0;
    const int32_t found = LookupKey(full, &id);
    if (found != kErrorSuccess) return found;
    sqlite3_stmt* child = Prepare("SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1");
    sqlite3_stmt* del_vals = Prepare("DELETE FROM vals WHERE key = ?1");
    sqlite3_stmt* del_key = Prepare("DELETE FROM keys WHERE id = ?1");
    if (child == nullptr || del_vals == nullptr || del_key == nullptr) {
      return kErrorRegistryIoFailed;
    }
    {
      StatementScope scope(child);
      sqlite3_bind_int64(child, 1, id);
      const int rc = sqlite3_step(child);
      if (rc == SQLITE_ROW) return kErrorAccessDenied;
      if (rc != SQLITE_DONE) return MapError(rc);
    }
    for (sqlite3_stmt* st : {del_vals, del_key}) {
      StatementScope scope(st);
      sqlite3_bind_int64(st, 1, id);
      const int rc = sqlite3_step(st);
      if (rc != SQLITE_DONE) return MapError(rc);
    }
    return kErrorSuccess;
  });
  EndReadIfIdle();
  return r;
}

int32_t SqliteRegistry::DeleteValue(RegHandle key, const std::string& name) {
  Handle* h = Find(key);
  if (h == nullptr) return db_ == nullptr ? kErrorRegistryIoFailed : kErrorInvalidHandle;
  if ((h->access & kKeySetValue) == 0) return kErrorAccessDenied;
  const std::string fold = FoldCase(codepage_.FromAnsi(CutAtNul(name)));
  const int64_t id = h->key_id;
  const int32_t r = Write([&]() -> int32_t {
    if (!KeyExists(id)) return kErrorKeyDeleted;
    sqlite3_stmt* st = Prepare("DELETE FROM vals WHERE key = ?1 AND fold = ?2");
    if (st == nullptr) return kErrorRegistryIoFailed;
    StatementScope scope(st);
    sqlite3_bind_int64(st, 1, id);
    BindBlob(st, 2, fold);
    const int rc = sqlite3_step(st);
    if (rc != SQLITE_DONE) return MapError(rc);
    return sqlite3_changes(db_) > 0 ? kErrorSuccess : kErrorFileNotFound;
  });
  EndReadIfIdle();
  return r;
}

int32_t SqliteRegistry::CloseKey(RegHandle key) {
  if (IsRoot(key)) return kErrorSuccess;
  if (handles_.erase(key) == 0) return kErrorInvalidHandle;
  EndReadIfIdle();
  return kErrorSuccess;
}

}  // namespace netvane::platform
