// The PulseAudio connection: threaded main loop, context, and the blocking queries built on them.
#include "capture/pulse/PulseConnection.h"

#include <pulse/pulseaudio.h>

#include <cmath>

namespace quimbrel::pulse {

namespace {

void contextState(pa_context*, void* c) {
    static_cast<Connection*>(c)->signal();
}

// Runs one operation to its end with the lock held; false when the context fails meanwhile.
bool finish(Connection& c, pa_operation* op, int& error) {
    if (!op) {
        error = pa_context_errno(c.context());
        return false;
    }
    while (pa_operation_get_state(op) == PA_OPERATION_RUNNING) {
        if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(c.context()))) {
            pa_operation_cancel(op);
            pa_operation_unref(op);
            error = pa_context_errno(c.context());
            if (error == 0)
                error = PA_ERR_CONNECTIONTERMINATED;
            return false;
        }
        c.wait();
    }
    pa_operation_unref(op);
    return true;
}

// An endpoint whose active port reports "not available" is unplugged.
template <typename Port> std::int32_t stateOf(const Port* active) {
    return active && active->available == PA_PORT_AVAILABLE_NO ? 8 : 1;
}

std::string property(pa_proplist* list, const char* key) {
    const char* v = list ? pa_proplist_gets(list, key) : nullptr;
    return v ? v : "";
}

struct Query {
    Connection* c;
    std::vector<EndpointInfo>* out;
    int dataflow;
    bool failed = false;
};

void sinkInfo(pa_context*, const pa_sink_info* i, int eol, void* user) {
    auto* q = static_cast<Query*>(user);
    if (eol < 0)
        q->failed = true;
    if (eol != 0) {
        q->c->signal();
        return;
    }
    EndpointInfo e;
    e.name = i->name ? i->name : "";
    e.description = i->description ? i->description : e.name;
    e.product = property(i->proplist, PA_PROP_DEVICE_PRODUCT_NAME);
    e.card = i->card;
    e.dataflow = 0;
    e.state = stateOf(i->active_port);
    e.rate = i->sample_spec.rate;
    e.channels = i->sample_spec.channels;
    e.monitor = i->monitor_source_name ? i->monitor_source_name : "";
    q->out->push_back(std::move(e));
}

void sourceInfo(pa_context*, const pa_source_info* i, int eol, void* user) {
    auto* q = static_cast<Query*>(user);
    if (eol < 0)
        q->failed = true;
    if (eol != 0) {
        q->c->signal();
        return;
    }
    // Monitors are reached through their sinks, never listed on their own.
    if (i->monitor_of_sink != PA_INVALID_INDEX)
        return;
    EndpointInfo e;
    e.name = i->name ? i->name : "";
    e.description = i->description ? i->description : e.name;
    e.product = property(i->proplist, PA_PROP_DEVICE_PRODUCT_NAME);
    e.card = i->card;
    e.dataflow = 1;
    e.state = stateOf(i->active_port);
    e.rate = i->sample_spec.rate;
    e.channels = i->sample_spec.channels;
    q->out->push_back(std::move(e));
}

} // namespace

Connection::Lock::Lock(Connection& c) : m_c(c) {
    if (c.m_loop)
        pa_threaded_mainloop_lock(c.m_loop);
}
Connection::Lock::~Lock() {
    if (m_c.m_loop)
        pa_threaded_mainloop_unlock(m_c.m_loop);
}

void Connection::wait() {
    if (m_loop)
        pa_threaded_mainloop_wait(m_loop);
    else
        pa_mainloop_iterate(m_polled, 1, nullptr);
}

void Connection::signal() {
    if (m_loop)
        pa_threaded_mainloop_signal(m_loop, 0);
}

bool Connection::dispatch() {
    if (!m_polled)
        return false;
    // Each round handles what is ready now; a bounded number of rounds, so a server that sends without pause
    // cannot hold the thread here.
    for (int round = 0; round < 1000; ++round) {
        const int handled = pa_mainloop_iterate(m_polled, 0, nullptr);
        if (handled < 0)
            return false;
        if (handled == 0)
            break;
    }
    return pa_context_get_state(m_context) == PA_CONTEXT_READY;
}

std::shared_ptr<Connection> Connection::open(const std::string& server, int& error) {
    std::shared_ptr<Connection> c(new Connection);
    c->m_loop = pa_threaded_mainloop_new();
    if (!c->m_loop || pa_threaded_mainloop_start(c->m_loop) < 0) {
        error = PA_ERR_INTERNAL;
        return nullptr;
    }
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(c->m_loop);
    return connect(std::move(c), api, server, error);
}

std::shared_ptr<Connection> Connection::openpolled(const std::string& server, int& error) {
    std::shared_ptr<Connection> c(new Connection);
    c->m_polled = pa_mainloop_new();
    if (!c->m_polled) {
        error = PA_ERR_INTERNAL;
        return nullptr;
    }
    pa_mainloop_api* api = pa_mainloop_get_api(c->m_polled);
    return connect(std::move(c), api, server, error);
}

std::shared_ptr<Connection> Connection::connect(std::shared_ptr<Connection> c, pa_mainloop_api* api,
                                                const std::string& server, int& error) {
    c->m_server = server;
    Lock lock(*c);
    pa_proplist* props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "quimbrel");
    c->m_context = pa_context_new_with_proplist(api, "quimbrel", props);
    pa_proplist_free(props);
    if (!c->m_context) {
        error = PA_ERR_INTERNAL;
        return nullptr;
    }
    pa_context_set_state_callback(c->m_context, contextState, c.get());
    // Never spawn a server of our own: no server running is a failure to report.
    if (pa_context_connect(c->m_context, server.empty() ? nullptr : server.c_str(), PA_CONTEXT_NOAUTOSPAWN,
                           nullptr) < 0) {
        error = pa_context_errno(c->m_context);
        return nullptr;
    }
    for (;;) {
        pa_context_state_t s = pa_context_get_state(c->m_context);
        if (s == PA_CONTEXT_READY)
            return c;
        if (!PA_CONTEXT_IS_GOOD(s)) {
            error = pa_context_errno(c->m_context);
            if (error == 0)
                error = PA_ERR_CONNECTIONREFUSED;
            return nullptr;
        }
        c->wait();
    }
}

Connection::~Connection() {
    if (m_context) {
        Lock lock(*this);
        pa_context_set_state_callback(m_context, nullptr, nullptr);
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
    }
    if (m_loop) {
        pa_threaded_mainloop_stop(m_loop);
        pa_threaded_mainloop_free(m_loop);
    }
    if (m_polled)
        pa_mainloop_free(m_polled);
}

bool Connection::alive() {
    Lock lock(*this);
    return pa_context_get_state(m_context) == PA_CONTEXT_READY;
}

int Connection::lasterror() {
    Lock lock(*this);
    return pa_context_errno(m_context);
}

bool Connection::endpoints(std::vector<EndpointInfo>& out, int& error) {
    Lock lock(*this);
    Query sinks{this, &out, 0};
    if (!finish(*this, pa_context_get_sink_info_list(m_context, sinkInfo, &sinks), error))
        return false;
    Query sources{this, &out, 1};
    if (!finish(*this, pa_context_get_source_info_list(m_context, sourceInfo, &sources), error))
        return false;
    if (sinks.failed || sources.failed) {
        error = pa_context_errno(m_context);
        return false;
    }
    return true;
}

bool Connection::endpoint(const std::string& name, int dataflow, EndpointInfo& out, int& error) {
    std::vector<EndpointInfo> found;
    Lock lock(*this);
    Query q{this, &found, dataflow};
    pa_operation* op = dataflow == 0
                           ? pa_context_get_sink_info_by_name(m_context, name.c_str(), sinkInfo, &q)
                           : pa_context_get_source_info_by_name(m_context, name.c_str(), sourceInfo, &q);
    if (!finish(*this, op, error))
        return false;
    if (found.empty()) {
        error = q.failed ? pa_context_errno(m_context) : PA_ERR_NOENTITY;
        if (error == 0)
            error = PA_ERR_NOENTITY;
        return false;
    }
    out = found.front();
    return true;
}

bool Connection::carddescription(std::uint32_t index, std::string& out, int& error) {
    struct CardQuery {
        Connection* c;
        std::string* out;
        bool found = false;
    } q{this, &out};
    Lock lock(*this);
    auto cb = [](pa_context*, const pa_card_info* i, int eol, void* user) {
        auto* cq = static_cast<CardQuery*>(user);
        if (eol != 0) {
            cq->c->signal();
            return;
        }
        std::string d = property(i->proplist, PA_PROP_DEVICE_DESCRIPTION);
        *cq->out = d.empty() ? (i->name ? i->name : "") : d;
        cq->found = true;
    };
    if (!finish(*this, pa_context_get_card_info_by_index(m_context, index, cb, &q), error))
        return false;
    if (!q.found)
        error = PA_ERR_NOENTITY;
    return q.found;
}

bool Connection::serverfield(const char* pa_server_info::*field, std::string& out, int& error) {
    struct ServerQuery {
        Connection* c;
        const char* pa_server_info::*field;
        std::string* out;
    } q{this, field, &out};
    Lock lock(*this);
    auto cb = [](pa_context*, const pa_server_info* i, void* user) {
        auto* sq = static_cast<ServerQuery*>(user);
        if (i && i->*sq->field)
            *sq->out = i->*sq->field;
        sq->c->signal();
    };
    out.clear();
    if (!finish(*this, pa_context_get_server_info(m_context, cb, &q), error))
        return false;
    if (out.empty()) {
        error = PA_ERR_NOENTITY;
        return false;
    }
    return true;
}

bool Connection::defaultsink(std::string& out, int& error) {
    return serverfield(&pa_server_info::default_sink_name, out, error);
}

bool Connection::servername(std::string& out, int& error) {
    return serverfield(&pa_server_info::server_name, out, error);
}

namespace {
struct Success {
    Connection* c;
    int ok = 0;
};
void successCb(pa_context*, int ok, void* user) {
    auto* s = static_cast<Success*>(user);
    s->ok = ok;
    s->c->signal();
}
} // namespace

bool Connection::setrecordvolume(std::uint32_t index, double fraction, int& error) {
    struct InfoQuery {
        Connection* c;
        std::uint8_t channels = 0;
    } info{this};
    Lock lock(*this);
    auto cb = [](pa_context*, const pa_source_output_info* i, int eol, void* user) {
        auto* iq = static_cast<InfoQuery*>(user);
        if (eol != 0) {
            iq->c->signal();
            return;
        }
        iq->channels = i->volume.channels;
    };
    if (!finish(*this, pa_context_get_source_output_info(m_context, index, cb, &info), error))
        return false;
    if (info.channels == 0) {
        error = PA_ERR_NOENTITY;
        return false;
    }
    pa_cvolume v;
    double clamped = fraction < 0.0 ? 0.0 : (fraction > 1.0 ? 1.0 : fraction);
    pa_cvolume_set(&v, info.channels, static_cast<pa_volume_t>(std::lround(clamped * PA_VOLUME_NORM)));
    Success set{this};
    if (!finish(*this, pa_context_set_source_output_volume(m_context, index, &v, successCb, &set), error))
        return false;
    Success unmute{this};
    if (!finish(*this, pa_context_set_source_output_mute(m_context, index, 0, successCb, &unmute), error))
        return false;
    if (!set.ok || !unmute.ok) {
        error = pa_context_errno(m_context);
        return false;
    }
    return true;
}

bool Connection::recordvolume(std::uint32_t index, double& fraction, int& error) {
    struct InfoQuery {
        Connection* c;
        bool found = false;
        double fraction = 1.0;
    } info{this};
    Lock lock(*this);
    auto cb = [](pa_context*, const pa_source_output_info* i, int eol, void* user) {
        auto* iq = static_cast<InfoQuery*>(user);
        if (eol != 0) {
            iq->c->signal();
            return;
        }
        iq->found = true;
        iq->fraction = static_cast<double>(pa_cvolume_avg(&i->volume)) / PA_VOLUME_NORM;
    };
    if (!finish(*this, pa_context_get_source_output_info(m_context, index, cb, &info), error))
        return false;
    if (!info.found) {
        error = PA_ERR_NOENTITY;
        return false;
    }
    fraction = info.fraction;
    return true;
}

} // namespace quimbrel::pulse
