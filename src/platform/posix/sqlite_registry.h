// The host registry: an SQLite file that behaves as the Windows NT registry does through the
// ANSI functions. Names and text data are kept in UTF-8 (the registry's own text is Unicode
// on Windows too) and converted from and to the ANSI code page at the interface.
#pragma once

#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/codepage.h"
#include "platform/registry.h"

namespace netvane::platform {

class SqliteRegistry final : public Registry {
 public:
  // Opens (and on first use creates) the registry file. `ok()` tells whether it can be used;
  // when it cannot, every operation returns kErrorRegistryIoFailed.
  SqliteRegistry(const std::string& path, const CodePage& codepage);
  ~SqliteRegistry() override;
  SqliteRegistry(const SqliteRegistry&) = delete;
  SqliteRegistry& operator=(const SqliteRegistry&) = delete;

  bool ok() const { return db_ != nullptr; }
  const std::string& error() const { return error_; }
  const std::string& path() const { return path_; }
  const CodePage& codepage() const { return codepage_; }

  int32_t CreateKey(RegHandle parent, const std::string& path, RegHandle* result) override;
  int32_t OpenKeyEx(RegHandle parent, const std::string& path, uint32_t access,
                    RegHandle* result) override;
  int32_t QueryInfoKey(RegHandle key, uint32_t* subkeys, uint32_t* values) override;
  int32_t EnumKeyEx(RegHandle key, uint32_t index, char* name, uint32_t* name_size,
                    char* class_name, uint32_t* class_size) override;
  int32_t EnumValue(RegHandle key, uint32_t index, char* name, uint32_t* name_size, uint32_t* type,
                    uint8_t* data, uint32_t* data_size) override;
  int32_t QueryValueEx(RegHandle key, const std::string& name, uint32_t* type, uint8_t* data,
                       uint32_t* data_size) override;
  int32_t SetValueEx(RegHandle key, const std::string& name, uint32_t type, const uint8_t* data,
                     uint32_t size) override;
  int32_t DeleteKey(RegHandle parent, const std::string& path) override;
  int32_t DeleteValue(RegHandle key, const std::string& name) override;
  int32_t CloseKey(RegHandle key) override;

  void BeginGroup(bool write) override;
  int32_t EndGroup() override;

  int32_t BeginBatch() override;
  int32_t CommitBatch() override;
  void RollbackBatch() override;

 private:
  struct Value {
    std::string name;  // UTF-8
    std::string fold;
    uint32_t type = 0;
    std::string data;  // stored form: UTF-8 for the text types
  };
  struct Handle {
    int64_t key_id = 0;
    std::string path;  // folded full path, root name first
    uint32_t access = 0;
    uint64_t cache_gen = 0;  // generation the lists below belong to; 0 = none
    std::vector<std::string> subkeys;
    std::vector<Value> values;
  };

  bool Open();
  bool FindRoots();
  // With `wait_when_busy`, a "busy" answer is retried up to the busy timeout, for the
  // statements where SQLite does not call its busy handler.
  bool Exec(const char* sql, bool wait_when_busy = false);
  // Runs a prepared statement that returns no rows (transaction control).
  int Step(const char* sql);
  sqlite3_stmt* Prepare(const char* sql);
  int32_t MapError(int rc) const;

  // Read snapshots: one read transaction serves a run of operations while handles are open,
  // so that a listing sees one consistent state; it ends when the last handle closes.
  int32_t BeginRead();
  void EndReadIfIdle();
  int32_t Write(const std::function<int32_t()>& body);

  Handle* Find(RegHandle h);
  bool IsRoot(RegHandle h) const;
  int32_t Resolve(RegHandle parent, const std::string& ansi_path, std::string* full_path,
                  std::vector<std::string>* components);
  int32_t LookupKey(const std::string& full_path, int64_t* id);
  bool KeyExists(int64_t id);
  int32_t LoadLists(Handle& h);
  RegHandle NewHandle(int64_t id, std::string path, uint32_t access);

  std::string ToStored(uint32_t type, std::string_view ansi) const;
  std::string ToAnsiData(const Value& v) const;

  std::string path_;
  const CodePage& codepage_;
  sqlite3* db_ = nullptr;
  std::string error_;
  // Keyed by the address of the SQL text: every statement is a literal of this file.
  std::unordered_map<const char*, sqlite3_stmt*> statements_;
  std::unordered_map<RegHandle, Handle> handles_;
  Handle roots_[2];  // HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE
  RegHandle next_handle_ = 0x1000;
  bool in_read_ = false;
  bool batch_ = false;
  int group_depth_ = 0;
  bool group_batch_ = false;  // the outermost group opened the batch
  bool group_read_ = false;   // a reading group holds its snapshot until it ends
  uint64_t gen_ = 1;
  std::chrono::steady_clock::time_point read_started_;
};

// The registry file the host uses: $NETVANE_REGISTRY, else $XDG_DATA_HOME/netvane/registry.db
// (XDG_DATA_HOME defaulting to ~/.local/share).
std::string DefaultRegistryPath();

}  // namespace netvane::platform
