// In-memory registry: two trees (machine and current user) of keys with typed values and a
// volatile flag, names matched without regard to case, and access rights checked per handle, so
// that a wrong access mask or a leaked key shows up in native tests.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>
#include <map>
#include <mutex>
#include <string>

#include "platform/fake/fake_internal.h"
#include "platform/fake/fake_platform.h"
#include "platform/registry.h"

namespace {

struct Value {
    std::uint32_t type;
    std::string bytes;
};

struct Key {
    bool isVolatile = false;
    std::map<std::string, Value> values;  // by lower-case name
    std::uint64_t written = 0;            // counts the changes of its values
    // Where the last enumeration stood, so that enumerating tens of thousands of values one index
    // after the other takes linear time; good while `written` has not moved.
    std::map<std::string, Value>::iterator cursor;
    std::uint32_t cursorIndex = 0;
    std::uint64_t cursorWritten = ~0ull;
};

struct OpenKey {
    std::string path;  // lower-case, "hklm" or "hkcu" first
    std::uint32_t access;
};

struct State {
    std::map<std::string, Key> keys;  // by lower-case full path
    std::map<PlatKey, OpenKey> open;
    PlatKey nextHandle = 0x1000;
};

std::recursive_mutex g_lock;
State g_state;

std::string Lower(const std::string &s) {
    std::string out = s;
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string RootName(PlatKey root) {
    if (root == PLAT_HKEY_LOCAL_MACHINE) return "hklm";
    if (root == PLAT_HKEY_CURRENT_USER) return "hkcu";
    auto it = g_state.open.find(root);
    return it == g_state.open.end() ? std::string() : it->second.path;
}

// Full lower-case path of root\path, or "" when root is not a valid handle.
std::string Join(PlatKey root, const char *path) {
    std::string base = RootName(root);
    if (base.empty()) return base;
    std::string rest = path ? Lower(path) : std::string();
    while (!rest.empty() && rest.back() == '\\') rest.pop_back();
    return rest.empty() ? base : base + "\\" + rest;
}

bool IsRoot(const std::string &full) { return full == "hklm" || full == "hkcu"; }

bool Exists(const std::string &full) { return IsRoot(full) || g_state.keys.count(full) != 0; }

PlatKey NewHandle(const std::string &full, std::uint32_t access) {
    PlatKey h = g_state.nextHandle++;
    g_state.open[h] = OpenKey{full, access};
    return h;
}

Key *KeyOf(PlatKey key, std::uint32_t needed, long *error) {
    auto it = g_state.open.find(key);
    std::string full;
    std::uint32_t access = PLAT_KEY_ALL_ACCESS;
    if (key == PLAT_HKEY_LOCAL_MACHINE || key == PLAT_HKEY_CURRENT_USER) {
        full = RootName(key);
    } else if (it != g_state.open.end()) {
        full = it->second.path;
        access = it->second.access;
    } else {
        *error = 6;  // ERROR_INVALID_HANDLE
        return nullptr;
    }
    if ((access & needed) != needed) {
        *error = PLAT_ERROR_ACCESS_DENIED;
        return nullptr;
    }
    if (IsRoot(full)) {
        Key &root = g_state.keys[full];  // values directly on a root are allowed
        return &root;
    }
    auto k = g_state.keys.find(full);
    if (k == g_state.keys.end()) {  // deleted while open (hive unloaded)
        *error = 1018;              // ERROR_KEY_DELETED
        return nullptr;
    }
    return &k->second;
}

}  // namespace

long PlatRegOpenCurrentUser(std::uint32_t access, PlatKey *key) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    long error = 0;
    if (FakeCallFails(FAKE_CALL_REG_OPEN_CURRENT_USER, &error)) return error;
    *key = NewHandle("hkcu", access);
    return 0;
}

long PlatRegOpenKey(PlatKey root, const char *path, std::uint32_t access, PlatKey *key) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    long error = 0;
    if (FakeCallFails(FAKE_CALL_REG_OPEN_KEY, &error)) return error;
    std::string full = Join(root, path);
    if (full.empty()) return 6;
    if (!Exists(full)) return PLAT_ERROR_FILE_NOT_FOUND;
    *key = NewHandle(full, access);
    return 0;
}

namespace {

// Creates the key and its missing parents, each with the requested volatility.
long CreateKey(PlatKey root, const char *path, std::uint32_t access, bool isVolatile,
               PlatKey *key) {
    std::string full = Join(root, path);
    if (full.empty()) return 6;
    std::string partial;
    size_t pos = 0;
    while (pos != std::string::npos) {
        size_t next = full.find('\\', pos);
        partial = full.substr(0, next);
        pos = next == std::string::npos ? next : next + 1;
        if (!Exists(partial)) g_state.keys[partial].isVolatile = isVolatile;
    }
    *key = NewHandle(full, access);
    return 0;
}

}  // namespace

long PlatRegCreateKey(PlatKey root, const char *path, std::uint32_t access, bool isVolatile,
                      PlatKey *key) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    long error = 0;
    if (FakeCallFails(FAKE_CALL_REG_CREATE_KEY, &error)) return error;
    return CreateKey(root, path, access, isVolatile, key);
}

long PlatRegQueryValue(PlatKey key, const char *name, std::uint32_t *type, std::uint8_t *data,
                       std::uint32_t *size) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    long error = 0;
    if (FakeCallFails(FAKE_CALL_REG_QUERY_VALUE, &error)) return error;
    Key *k = KeyOf(key, PLAT_KEY_QUERY_VALUE, &error);
    if (!k) return error;
    auto v = k->values.find(Lower(name ? name : ""));
    if (v == k->values.end()) return PLAT_ERROR_FILE_NOT_FOUND;
    if (type) *type = v->second.type;
    std::uint32_t needed = static_cast<std::uint32_t>(v->second.bytes.size());
    if (!size) return data ? PLAT_ERROR_INVALID_PARAMETER : 0;
    if (data && *size < needed) {
        *size = needed;
        return PLAT_ERROR_MORE_DATA;
    }
    if (data) std::copy(v->second.bytes.begin(), v->second.bytes.end(), data);
    *size = needed;
    return 0;
}

long PlatRegSetValue(PlatKey key, const char *name, std::uint32_t type, const std::uint8_t *data,
                     std::uint32_t size) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    long error = 0;
    if (FakeCallFails(FAKE_CALL_REG_SET_VALUE, &error)) return error;
    Key *k = KeyOf(key, PLAT_KEY_SET_VALUE, &error);
    if (!k) return error;
    k->values[Lower(name ? name : "")] =
        Value{type, std::string(reinterpret_cast<const char *>(data), size)};
    ++k->written;
    return 0;
}

long PlatRegDeleteValue(PlatKey key, const char *name) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    long error = 0;
    if (FakeCallFails(FAKE_CALL_REG_DELETE_VALUE, &error)) return error;
    Key *k = KeyOf(key, PLAT_KEY_SET_VALUE, &error);
    if (!k) return error;
    if (k->values.erase(Lower(name ? name : "")) == 0) return PLAT_ERROR_FILE_NOT_FOUND;
    ++k->written;
    return 0;
}

long PlatRegEnumValue(PlatKey key, std::uint32_t index, char *name, std::uint32_t *nameLength,
                      std::uint32_t *type, std::uint8_t *data, std::uint32_t *size) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    long error = 0;
    if (FakeCallFails(FAKE_CALL_REG_ENUM_VALUE, &error)) return error;
    Key *k = KeyOf(key, PLAT_KEY_QUERY_VALUE, &error);
    if (!k) return error;
    if (index >= k->values.size()) return PLAT_ERROR_NO_MORE_ITEMS;
    auto v = k->values.begin();
    if (k->cursorWritten == k->written && index >= k->cursorIndex) {
        v = k->cursor;
        std::advance(v, index - k->cursorIndex);
    } else {
        std::advance(v, index);
    }
    k->cursor = v;
    k->cursorIndex = index;
    k->cursorWritten = k->written;
    if (nameLength) {
        if (!name || *nameLength <= v->first.size()) return PLAT_ERROR_MORE_DATA;
        std::memcpy(name, v->first.c_str(), v->first.size() + 1);
        *nameLength = static_cast<std::uint32_t>(v->first.size());
    }
    if (type) *type = v->second.type;
    const std::uint32_t needed = static_cast<std::uint32_t>(v->second.bytes.size());
    if (size) {
        if (data && *size < needed) {
            *size = needed;
            return PLAT_ERROR_MORE_DATA;
        }
        if (data) std::copy(v->second.bytes.begin(), v->second.bytes.end(), data);
        *size = needed;
    }
    return 0;
}

long PlatRegLastWrite(PlatKey key, std::uint64_t *stamp) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    long error = 0;
    if (FakeCallFails(FAKE_CALL_REG_LAST_WRITE, &error)) return error;
    Key *k = KeyOf(key, PLAT_KEY_QUERY_VALUE, &error);
    if (!k) return error;
    if (stamp) *stamp = k->written;
    return 0;
}

void PlatRegCloseKey(PlatKey key) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    g_state.open.erase(key);
}

// ---- controls ----

void FakeRegistryReset() {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    g_state = State();
}

void FakeRegSetValue(PlatKey root, const std::string &path, const std::string &name,
                     std::uint32_t type, const std::string &bytes) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    PlatKey k = 0;
    CreateKey(root, path.c_str(), PLAT_KEY_ALL_ACCESS, false, &k);
    Key &target = g_state.keys[g_state.open[k].path];
    target.values[Lower(name)] = Value{type, bytes};
    ++target.written;
    PlatRegCloseKey(k);
}

void FakeRegSetString(PlatKey root, const std::string &path, const std::string &name,
                      const std::string &text) {
    FakeRegSetValue(root, path, name, PLAT_REG_SZ, text + std::string(1, '\0'));
}

void FakeRegSetDword(PlatKey root, const std::string &path, const std::string &name,
                     std::uint32_t value) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    FakeRegSetValue(root, path, name, PLAT_REG_DWORD, bytes);
}

bool FakeRegGetValue(PlatKey root, const std::string &path, const std::string &name,
                     std::uint32_t *type, std::string *bytes) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    auto k = g_state.keys.find(Join(root, path.c_str()));
    if (k == g_state.keys.end()) return false;
    auto v = k->second.values.find(Lower(name));
    if (v == k->second.values.end()) return false;
    if (type) *type = v->second.type;
    if (bytes) *bytes = v->second.bytes;
    return true;
}

bool FakeRegKeyExists(PlatKey root, const std::string &path, bool *isVolatile) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    auto k = g_state.keys.find(Join(root, path.c_str()));
    if (k == g_state.keys.end()) return false;
    if (isVolatile) *isVolatile = k->second.isVolatile;
    return true;
}

void FakeRegDeleteValue(PlatKey root, const std::string &path, const std::string &name) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    auto k = g_state.keys.find(Join(root, path.c_str()));
    if (k != g_state.keys.end() && k->second.values.erase(Lower(name)) != 0) ++k->second.written;
}

void FakeRegUnloadVolatile() {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    for (auto it = g_state.keys.begin(); it != g_state.keys.end();) {
        it = it->second.isVolatile ? g_state.keys.erase(it) : std::next(it);
    }
}

int FakeRegOpenKeyCount() {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    return static_cast<int>(g_state.open.size());
}
