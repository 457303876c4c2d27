// The simulator's VXI-11 server: its own portmapper (TCP and UDP, portmap
// version 2 and rpcbind versions 3 and 4, enough for the usual clients),
// the core and abort channels, and interrupt channels back to the clients
// that enable service requests.  A thread per connection; the instrument
// behind it is used under one lock.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "instrument.h"

namespace xvrsim {

class Vxi11Server {
public:
    explicit Vxi11Server(const InstrumentModel &model);
    ~Vxi11Server();  // stops every thread
    Vxi11Server(const Vxi11Server &) = delete;
    Vxi11Server &operator=(const Vxi11Server &) = delete;

    // Binds 127.0.0.1:corePort (0: a free port) and the portmapper's port
    // (0: a free one), then serves.  False with the reason in *error.
    bool Start(int corePort, int portmapperPort, std::string *error);
    uint16_t CorePort() const;
    uint16_t PortmapperPort() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace xvrsim
