// One VXI-11 link: the core channel to the instrument server, the abort
// channel it is asked to stop a call on, and the interrupt channel that
// brings service requests, with the settings and the bytes of a message
// received but not yet handed to the host.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/deadline.h"
#include "drivers/control.h"
#include "drivers/device_settings.h"
#include "drivers/lan/lan_stream.h"
#include "drivers/vxi11/rpc_message.h"
#include "drivers/vxi11/xdr.h"
#include "platform/socket.h"

namespace xvr {

struct CXVR_VXI11Device : CXVR_DeviceSettings {
    // interfaceName names the device in texts ("HOST:DEVICE"); device goes
    // to the server as the host wrote it.
    CXVR_VXI11Device(std::u16string interfaceName, std::string device)
        : CXVR_DeviceSettings(0x0A),
          m_sInterface(std::move(interfaceName)),
          m_sDevice(std::move(device)) {}
    ~CXVR_VXI11Device();
    CXVR_VXI11Device(const CXVR_VXI11Device &) = delete;
    CXVR_VXI11Device &operator=(const CXVR_VXI11Device &) = delete;

    // Asks the portmapper for the core channel's port, connects and creates
    // the link, all within the deadline.  0, -4 (connect), -23 (refused),
    // -21, -22 or -6.
    int32_t Connect(uint32_t address, uint16_t portmapperPort, const Deadline &deadline,
                    std::u16string *error);
    // The last close: the link and the channels are given up.
    void Release();

    int32_t Read(uint8_t *buffer, int32_t *length, uint32_t flags, std::u16string *error);
    int32_t Write(const uint8_t *data, int32_t *length, uint32_t flags, std::u16string *error);
    int32_t ParamGet(const std::u16string &key, std::u16string *value, std::u16string *error);
    int32_t ParamSet(const std::u16string &key, std::u16string_view value, std::u16string *error);

    const std::u16string m_sInterface;
    const std::string m_sDevice;

private:
    // A core-channel call: StartCall clears m_Out and writes the call header;
    // the caller appends the arguments; Exchange sends them (and tail, the
    // bytes of an opaque argument that end the call) and waits up to waitMs
    // and a margin for the reply, whose results it leaves in *results.
    vxi11::XdrWriter StartCall(uint32_t procedure);
    int32_t Exchange(const uint8_t *tail, size_t tailSize, uint32_t waitMs, size_t cap,
                     vxi11::XdrReader *results, std::u16string *error);
    // Receives replies until the one to m_lXid, dropping the replies to calls
    // given up earlier (with drain, returns after dropping one).
    // kWaitTimedOut when none began before the deadline.
    int32_t ReceiveReply(const Deadline &deadline, size_t cap, vxi11::XdrReader *results,
                         std::u16string *error, bool drain = false);
    // The record in m_Reply: 0 with its results when it answers the current
    // call, kStaleDropped when it answers a call given up, else a failure.
    int32_t TakeReply(vxi11::XdrReader *results, std::u16string *error);
    // A call gone past its time: the server is asked to abort it, and its
    // reply is dropped whenever it comes.
    void GiveUpCall();
    // A VXI-11 error code as a status: 11 -21, 15 -6, others -23.
    int32_t DeviceError(uint32_t code, std::u16string *error) const;
    int32_t Refused(const std::string &reason, std::u16string *error) const;
    // A protocol fault: the stream is out of step, so the link is closed.
    int32_t Broken(const std::string &reason, std::u16string *error);
    // Calls that answer only a Device_Error.
    int32_t Generic(uint32_t procedure, std::u16string *error);
    int32_t SimpleCall(uint32_t waitMs, std::u16string *error);
    uint32_t LockFlags() const;

    int32_t ReadStatusByte(uint8_t *stb, std::u16string *error);
    int32_t SetLock(const LockRequest &lock, std::u16string *error);
    int32_t EnableServiceRequests(std::u16string *error);
    int32_t DisableServiceRequests(std::u16string *error);
    int32_t WaitServiceRequest(uint8_t *stb, std::u16string *error);
    // Takes what waits on the interrupt channel; true when a service request
    // for this link was among it.  Waits up to waitMs for the first one.
    bool TakeInterrupts(uint32_t waitMs);
    // After each call: a service request that came meanwhile is kept.
    void KeepArrivedServiceRequest();

    // A large device_read reply is received straight into the host's
    // buffer: Read sets m_Direct before the call, ReceiveReply fills in what
    // came (nothing when the reply was of another shape and went the usual
    // way, through m_Reply).
    struct DirectRead {
        uint8_t *into = nullptr;  // where the data goes
        size_t room = 0;          // what fits there; the rest goes to m_Pending
        bool used = false;
        uint32_t error = 0, reason = 0;
        size_t size = 0;  // data bytes in all
    };
    DirectRead *m_Direct = nullptr;
    // True when the reply was taken that way.  *status tells how it went.
    bool ReceiveDirect(const uint8_t mark[4], size_t cap, const Deadline &rest, int32_t *status,
                       std::u16string *error);
    int32_t FinishParsedReply(std::u16string *error);

    // Hands buffered bytes to the host: see Read.
    struct ReadState;
    void Deliver(ReadState &s, const uint8_t *data, size_t size, bool endAtLast);

    LanStream m_Core;
    LanStream m_Abort;
    uint32_t m_lAddress = 0;  // the server, network order
    uint32_t m_lLink = 0;
    uint32_t m_lAbortPort = 0;
    uint32_t m_lMaxRecvSize = 0;
    uint32_t m_lXid = 0;
    std::vector<uint32_t> m_Stale;  // xids of calls given up, replies still due
    std::vector<uint8_t> m_Out;     // the call being built
    vxi11::RecordBytes m_Reply;     // the last record received

    std::vector<uint8_t> m_Pending;  // message bytes received, not yet delivered
    size_t m_lPendingStart = 0;
    bool m_bPendingEnd = false;  // the message ends with the last of them

    uint32_t m_lLockTimeout = 0;
    bool m_bLocked = false;

    platform::SocketHandle m_Listener = platform::kInvalidSocket;
    LanStream m_Interrupt;
    bool m_bInterruptChannel = false;
    bool m_bSrqEnabled = false;
    std::string m_sSrqHandle;
    KeptServiceRequest m_Kept;
};

}  // namespace xvr
