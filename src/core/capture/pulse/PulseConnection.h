// The one place that talks to the PulseAudio client library: a connection on a threaded main loop, the
// queries the catalogue needs and the stream volume.
//
// Locking, once for the whole layer: libpulse runs its own main-loop thread per Connection; every libpulse
// call on the context or on a stream must be made with that loop locked (Connection::Lock). The blocking
// helpers here take the lock themselves and wait on the loop's condition; callbacks only copy results and
// signal. A caller holding a Lock must not call the helpers of this class (they lock again), and must never
// hold a Lock while it waits for another thread.
//
// A polled Connection (openpolled) has no thread of its own: the one thread that uses it runs the server's
// messages when it chooses, with dispatch(), so nothing wakes up for each message the server sends. Its Lock
// does nothing; it may pass to another thread only across a point that orders the two (starting or joining
// that thread).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct pa_threaded_mainloop;
struct pa_mainloop;
struct pa_mainloop_api;
struct pa_context;
struct pa_server_info;

namespace quimbrel::pulse {

// What the catalogue knows about one sink or non-monitor source.
struct EndpointInfo {
    std::string name;                 // sink or source name: the endpoint id
    std::string description;          // device.description
    std::string product;              // device.product.name, empty when unset
    std::uint32_t card = 0xffffffffu; // card index, PA_INVALID_INDEX without a card
    std::int32_t dataflow = 0;        // 0 sink, 1 source
    std::int32_t state = 1;           // 1 present, 8 active port not available
    std::uint32_t rate = 0;
    std::uint32_t channels = 0;
    std::string monitor; // a sink's monitor source
};

class Connection {
public:
    // Connects to `server` (empty: the default). Null, with the PulseAudio error number in `error`, when no
    // server answers.
    static std::shared_ptr<Connection> open(const std::string& server, int& error);
    // The same without a main-loop thread (see above): for one stream that its thread serves by polling.
    static std::shared_ptr<Connection> openpolled(const std::string& server, int& error);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // The context is still connected (false once the server went away).
    bool alive();
    // The context's last error number (takes the lock).
    int lasterror();

    // Sinks then non-monitor sources, each in the server's order.
    bool endpoints(std::vector<EndpointInfo>& out, int& error);
    // The description of card `index`; false when the card cannot be read.
    bool carddescription(std::uint32_t index, std::string& out, int& error);
    bool defaultsink(std::string& out, int& error);
    // The server's own name ("pulseaudio", or "PulseAudio (on PipeWire ...)" for PipeWire's server).
    bool servername(std::string& out, int& error);
    // One endpoint by name: a sink (dataflow 0) or a source (1). PA_ERR_NOENTITY when it no longer exists.
    bool endpoint(const std::string& name, int dataflow, EndpointInfo& out, int& error);

    // The volume of one of our record streams (a source output) as a fraction of the normal volume.
    bool setrecordvolume(std::uint32_t index, double fraction, int& error);
    bool recordvolume(std::uint32_t index, double& fraction, int& error);

    // RAII lock of the main loop, for Stream calls.
    class Lock {
    public:
        explicit Lock(Connection& c);
        ~Lock();
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        Connection& m_c;
    };

    // With the lock held: sleeps until a callback signals the loop (polled: runs the loop until one event has
    // been handled).
    void wait();
    // From a callback: wakes the thread in wait().
    void signal();
    // Polled only: handles every message and event that is ready, without waiting. False when the connection
    // has failed.
    bool dispatch();
    // The server this connection was opened with (empty: the default).
    const std::string& server() const { return m_server; }
    pa_context* context() const { return m_context; }

private:
    Connection() = default;
    // One text of the server's information (default sink, server name); PA_ERR_NOENTITY when it is empty.
    bool serverfield(const char* pa_server_info::*field, std::string& out, int& error);
    static std::shared_ptr<Connection> connect(std::shared_ptr<Connection> c, pa_mainloop_api* api,
                                               const std::string& server, int& error);
    pa_threaded_mainloop* m_loop = nullptr;
    pa_mainloop* m_polled = nullptr;
    pa_context* m_context = nullptr;
    std::string m_server;
};

} // namespace quimbrel::pulse
