// A driver's list of device records: device number = index + 1, freed entries
// are reused lowest first, and the list never shrinks while the driver lives.
// Opening and closing cost the same at the 60,000th device as at the 10th:
// the free numbers are kept in a min-heap and shared records are found
// through an index by their sharing key, never by a scan.  Records are
// shared, so that a call still using one keeps it alive after its entry was
// freed.  The list itself is not locked: its driver does that.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <queue>
#include <string>
#include <unordered_map>
#include <vector>

#include "drivers/driver.h"
#include "base/texts.h"

namespace xvr {

// What makes two opens of one driver share a record (a port name, a bus
// address, a host and port), or nothing for a record that is never shared.
using SharingKey = std::optional<std::u16string>;

template <class Record>
class DeviceList {
public:
    static constexpr size_t kMaxDevices = 0xFFFF;

    // The record for the device number in the handle's low 16 bits, or
    // nullptr with text 11000 in *error.
    std::shared_ptr<Record> Find(uint32_t handle, std::u16string *error) const {
        size_t number = handle & 0xFFFF;
        if (number == 0 || number > m_Entries.size() || !m_Entries[number - 1].record) {
            *error = LoadText(kTextNotOpen);
            return nullptr;
        }
        return m_Entries[number - 1].record;
    }

    // The record inserted under key and not yet freed, with its device number.
    std::shared_ptr<Record> FindShared(const SharingKey &key, uint16_t *number) const {
        if (!key) return nullptr;
        const auto it = m_ByKey.find(*key);
        if (it == m_ByKey.end()) return nullptr;
        *number = it->second;
        return m_Entries[it->second - 1].record;
    }

    // True when Insert would find room; otherwise text 11018 in *error.
    // Drivers ask before opening a transport, so that a full list never
    // leaves a device open without a record.
    bool HasRoom(std::u16string *error) const {
        if (m_Entries.size() < kMaxDevices || !m_Free.empty()) return true;
        *error = LoadText(kTextCannotOpen);
        return false;
    }

    // Stores the record in the lowest free entry and returns its device
    // number; 0 when all 65535 numbers are in use (text 11018 in *error).
    // A record with a key is what later opens of that key share.
    uint16_t Insert(std::shared_ptr<Record> record, std::u16string *error, SharingKey key = {}) {
        if (!HasRoom(error)) return 0;
        uint16_t number;
        if (!m_Free.empty()) {
            number = m_Free.top();
            m_Free.pop();
        } else {
            m_Entries.emplace_back();
            number = static_cast<uint16_t>(m_Entries.size());
        }
        Entry &entry = m_Entries[number - 1];
        entry.record = std::move(record);
        if (key) {
            // A key is already present only if a driver did not ask FindShared
            // first; the first record keeps it, as a scan would find it first.
            if (m_ByKey.emplace(*key, number).second) entry.key = std::move(key);
        }
        ++m_Open;
        return number;
    }

    // One close of the device: 0 while other opens remain; 3 after
    // release(record) ran and the entry was freed; -3 / -16 with text 11000.
    template <class Release>
    int32_t Close(uint32_t handle, std::u16string *error, Release release) {
        const std::shared_ptr<Record> r = Find(handle, error);
        if (!r) return kStatusBadHandle;
        if (r->m_lOpenCount == 0) {
            *error = LoadText(kTextNotOpen);
            return kStatusBadAddress;
        }
        if (--r->m_lOpenCount > 0) return kStatusOk;
        release(*r);
        Remove(static_cast<uint16_t>(handle & 0xFFFF));
        return kStatusReleased;
    }

    // Frees the number (and the record's key), whatever its open count.
    void Remove(uint16_t number) {
        if (number == 0 || number > m_Entries.size() || !m_Entries[number - 1].record) return;
        Entry &entry = m_Entries[number - 1];
        if (entry.key) m_ByKey.erase(*entry.key);
        entry = Entry{};
        m_Free.push(number);
        --m_Open;
    }

    bool Any() const { return m_Open != 0; }

    size_t Size() const { return m_Entries.size(); }

private:
    struct Entry {
        std::shared_ptr<Record> record;  // null: the number is free
        SharingKey key;                  // set while the record is in m_ByKey
    };

    std::vector<Entry> m_Entries;
    std::priority_queue<uint16_t, std::vector<uint16_t>, std::greater<uint16_t>> m_Free;
    std::unordered_map<std::u16string, uint16_t> m_ByKey;
    size_t m_Open = 0;
};

}  // namespace xvr
