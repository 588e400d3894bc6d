#pragma once
#include "platform/SettingsStore.h"

#include <map>
#include <set>

// Settings held in memory; `writable = false` plays a store that cannot be created.
class MemorySettingsStore : public ISettingsStore
{
public:
    bool KeyExists(const std::wstring& key) const override { return keys.count(key) > 0; }
    bool CreateKey(const std::wstring& key) override
    {
        if (!writable) {
            return false;
        }
        keys.insert(key);
        return true;
    }
    std::optional<std::wstring> ReadString(const std::wstring& key,
                                           const std::wstring& name) const override
    {
        ++reads;
        auto it = values.find({key, name});
        if (it == values.end()) {
            return std::nullopt;
        }
        return it->second;
    }
    bool WriteString(const std::wstring& key, const std::wstring& name,
                     const std::wstring& value) override
    {
        if (!writable) {
            return false;
        }
        keys.insert(key);
        values[{key, name}] = value;
        return true;
    }
    bool RemoveValue(const std::wstring& key, const std::wstring& name) override
    {
        values.erase({key, name});
        return true;
    }

    bool writable = true;
    mutable int reads = 0;
    std::set<std::wstring> keys;
    std::map<std::pair<std::wstring, std::wstring>, std::wstring> values;
};
