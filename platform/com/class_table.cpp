#include "com/class_table.h"

#include <mutex>
#include <vector>

namespace com {
namespace {

struct Entry {
  CLSID clsid;
  ClassFactory factory;
};

struct Table {
  std::mutex mutex;
  std::vector<Entry> entries;
};

// Built on first use, so registrations made during static initialisation find it ready.
Table& TheTable() {
  static Table table;
  return table;
}

void Store(REFCLSID clsid, ClassFactory factory) {
  Table& table = TheTable();
  std::lock_guard lock(table.mutex);
  for (auto it = table.entries.begin(); it != table.entries.end(); ++it) {
    if (it->clsid == clsid) {
      if (factory)
        it->factory = std::move(factory);
      else
        table.entries.erase(it);
      return;
    }
  }
  if (factory) table.entries.push_back({clsid, std::move(factory)});
}

}  // namespace

void RegisterClass(REFCLSID clsid, ClassFactory factory) { Store(clsid, std::move(factory)); }

void UnregisterClass(REFCLSID clsid) { Store(clsid, nullptr); }

ClassFactory FindClass(REFCLSID clsid) {
  Table& table = TheTable();
  std::lock_guard lock(table.mutex);
  for (const Entry& entry : table.entries)
    if (entry.clsid == clsid) return entry.factory;
  return nullptr;
}

ScopedClassOverride::ScopedClassOverride(REFCLSID clsid, ClassFactory factory)
    : clsid_(clsid), previous_(FindClass(clsid)) {
  Store(clsid, std::move(factory));
}

ScopedClassOverride::~ScopedClassOverride() { Store(clsid_, std::move(previous_)); }

}  // namespace com
