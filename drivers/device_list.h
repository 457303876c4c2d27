// A driver's list of device records: device number = index + 1, freed entries
// are reused lowest first, and the list never shrinks while the driver lives.
// Records are shared, so that a call still using one keeps it alive after
// its entry was freed.  The list itself is not locked: its driver does that.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "drivers/driver.h"
#include "base/texts.h"

namespace xvr {

template <class Record>
class DeviceList {
public:
    static constexpr size_t kMaxDevices = 0xFFFF;

    // The record for the device number in the handle's low 16 bits, or
    // nullptr with text 11000 in *error.
    std::shared_ptr<Record> Find(uint32_t handle, std::u16string *error) const {
        size_t number = handle & 0xFFFF;
        if (number == 0 || number > m_Entries.size() || !m_Entries[number - 1]) {
            *error = LoadText(kTextNotOpen);
            return nullptr;
        }
        return m_Entries[number - 1];
    }

    // The first record for which match(record) holds, with its device number.
    template <class Match>
    std::shared_ptr<Record> FindIf(Match match, uint16_t *number) const {
        for (size_t i = 0; i < m_Entries.size(); ++i) {
            if (m_Entries[i] && match(*m_Entries[i])) {
                *number = static_cast<uint16_t>(i + 1);
                return m_Entries[i];
            }
        }
        return nullptr;
    }

    // True when Insert would find room; otherwise text 11018 in *error.
    // Drivers ask before opening a transport, so that a full list never
    // leaves a device open without a record.
    bool HasRoom(std::u16string *error) const {
        if (m_Entries.size() < kMaxDevices) return true;
        for (const auto &e : m_Entries)
            if (!e) return true;
        *error = LoadText(kTextCannotOpen);
        return false;
    }

    // Stores the record in the lowest free entry and returns its device
    // number; 0 when all 65535 numbers are in use (text 11018 in *error).
    uint16_t Insert(std::shared_ptr<Record> record, std::u16string *error) {
        for (size_t i = 0; i < m_Entries.size(); ++i) {
            if (!m_Entries[i]) {
                m_Entries[i] = std::move(record);
                return static_cast<uint16_t>(i + 1);
            }
        }
        if (m_Entries.size() >= kMaxDevices) {
            *error = LoadText(kTextCannotOpen);
            return 0;
        }
        m_Entries.push_back(std::move(record));
        return static_cast<uint16_t>(m_Entries.size());
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
        m_Entries[(handle & 0xFFFF) - 1].reset();
        return kStatusReleased;
    }

    // Frees a number whose record never opened.
    void Remove(uint16_t number) {
        if (number > 0 && number <= m_Entries.size()) m_Entries[number - 1].reset();
    }

    bool Any() const {
        for (const auto &e : m_Entries)
            if (e) return true;
        return false;
    }

    size_t Size() const { return m_Entries.size(); }

private:
    std::vector<std::shared_ptr<Record>> m_Entries;
};

}  // namespace xvr
