// One network device: its settings, its socket and the bytes received but
// not yet handed to the host.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "drivers/device_settings.h"
#include "drivers/read_end.h"
#include "platform/socket.h"

namespace xvr {

struct CXVR_IPDevice : CXVR_DeviceSettings {
    // The largest UDP payload: a datagram is always received whole.
    static constexpr uint32_t kMaxDatagram = 65507;
    // Receive buffer; holds a whole datagram and lets bulk reads move large
    // chunks.  Hosts see it only through what they read.
    static constexpr uint32_t kReceiveSize = 65536;

    // The sharing key is complete before the record is listed, so that an
    // open of the same address on another thread finds it while it connects.
    CXVR_IPDevice(std::u16string host, uint16_t port)
        : CXVR_DeviceSettings(0x0A), m_sHost(std::move(host)), m_nPort(port) {}
    ~CXVR_IPDevice();  // releases the socket
    CXVR_IPDevice(const CXVR_IPDevice &) = delete;
    CXVR_IPDevice &operator=(const CXVR_IPDevice &) = delete;

    // A record's transport mark is always 1 while the UDP driver's type is
    // 2, so UDP opens never share a record; TCP opens of one host and port do.
    static constexpr uint32_t kTransportMark = 1;

    // Creates and connects the socket; 0 or -4 with text 11011 / 11012.
    int32_t Connect(uint32_t address, uint32_t type, int32_t timeoutMs, std::u16string *error);
    // The last close: shuts sending, discards what is still arriving
    // (bounded), closes the socket.
    void Release();

    int32_t Read(uint8_t *buffer, int32_t *length, uint32_t flags, std::u16string *error);
    int32_t Write(const uint8_t *data, int32_t *length, uint32_t flags, std::u16string *error);
    // TIMEOUT, DELIMITER, (get only) BUFFER and (set only) CLEAR.
    int32_t ParamGet(const std::u16string &key, std::u16string *value, std::u16string *error);
    int32_t ParamSet(const std::u16string &key, std::u16string_view value, std::u16string *error);

    // Received bytes the host can read without waiting.
    uint32_t BytesAvailable() const;
    // CLEAR: drops the bytes buffered here and those waiting in the
    // system's receive queue; what arrives afterwards is kept.
    void Clear();

    const std::u16string m_sHost;  // dotted address, also the interface text
    const uint16_t m_nPort;
    platform::SocketHandle m_Socket = platform::kInvalidSocket;
    uint32_t m_lSocketType = 0;
    bool m_bNonBlocking = false;
    std::vector<uint8_t> m_Receive;  // allocated by the first read
    uint32_t m_lStart = 0;           // first buffered byte in m_Receive
    uint32_t m_lBuffered = 0;        // bytes from m_lStart on

private:
    struct ReceiveResult;
    ReceiveResult ReceiveSome(uint32_t waitMs, bool waitFirst);
    ReadEnd HandOver(uint8_t *buffer, uint32_t limit, bool toDelimiter, uint32_t *delivered,
                     uint32_t *matched);
    int32_t SendAll(const uint8_t *block, size_t total, int32_t *length, std::u16string *error);
};

}  // namespace xvr
