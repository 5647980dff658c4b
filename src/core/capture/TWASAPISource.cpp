// The endpoint catalogue on PulseAudio: sinks and non-monitor sources grouped by card, opened for capture.
#include "capture/TWASAPISource.h"

#include "capture/TInputRecordThread.h"
#include "capture/TPlayThread.h"
#include "capture/pulse/PulseConnection.h"

#include <chrono>
#include <map>
#include <stdexcept>

namespace quimbrel {

namespace {
constexpr std::uint32_t kNoCard = 0xffffffffu;
} // namespace

TWASAPISource::TWASAPISource(MessagePort& messages, Dispatcher& dispatcher, DataHandler onData,
                             std::string server)
    : m_messages(messages), m_dispatcher(dispatcher), m_server(std::move(server)),
      m_onData(std::move(onData)) {
    enumerate();
    filllines(m_cardindex);
}

TWASAPISource::~TWASAPISource() {
    stopthreads();
    m_connection.reset();
}

std::shared_ptr<pulse::Connection> TWASAPISource::connection(int& error) {
    if (m_connection && m_connection->alive())
        return m_connection;
    // The server went away (or never answered): the next use starts over with a fresh connection. Threads of
    // an earlier opening keep the old one alive for as long as they hold it.
    m_connection = pulse::Connection::open(m_server, error);
    return m_connection;
}

void TWASAPISource::enumerate() {
    m_defaultline = 0;
    m_defaultcard = 0;
    m_cards.clear();

    auto fail = [this] {
        m_messages.show("Audio devices enumeration error.", kAudioDeviceErrorCaption, MessageIcon::Error);
    };
    int error = 0;
    auto conn = connection(error);
    if (!conn) {
        fail();
        return;
    }
    std::vector<pulse::EndpointInfo> found;
    if (!conn->endpoints(found, error)) {
        fail();
        return;
    }

    std::map<std::uint32_t, std::string> cardNames;
    for (const auto& e : found) {
        std::string adapter;
        if (e.card != kNoCard) {
            auto known = cardNames.find(e.card);
            if (known == cardNames.end()) {
                std::string description;
                if (!conn->carddescription(e.card, description, error)) {
                    fail();
                    return;
                }
                known = cardNames.emplace(e.card, description).first;
            }
            adapter = known->second;
        } else {
            adapter = e.product.empty() ? e.description : e.product;
        }

        TWASAPIDevice endpoint;
        endpoint.name = e.description;
        endpoint.id = e.name;
        endpoint.dataflow = e.dataflow;
        endpoint.state = e.state;
        endpoint.samplerate = static_cast<std::int32_t>(e.rate);
        endpoint.channels = static_cast<std::int32_t>(e.channels);
        endpoint.bits = e.rate != 0 ? 32 : 0;

        TWASAPIDevice* card = nullptr;
        for (int i = 0; i < m_cards.count(); ++i) {
            if (m_cards[i].name == adapter) {
                card = &m_cards[i];
                break;
            }
        }
        if (!card) {
            TWASAPIDevice fresh;
            fresh.name = adapter;
            fresh.id = e.name;
            card = &m_cards.add(fresh);
        }
        card->endpoints.add(endpoint);
    }

    std::string defaultId;
    if (!conn->defaultsink(defaultId, error)) {
        fail();
        return;
    }
    for (int c = 0; c < m_cards.count(); ++c) {
        const TWASAPIDevices& eps = m_cards[c].endpoints;
        for (int l = 0; l < eps.count(); ++l) {
            if (eps[l].id == defaultId) {
                m_defaultline = l;
                m_defaultcard = c;
            }
        }
    }
    if (m_defaultcard != 0) {
        m_cards.move(m_defaultcard, 0);
        m_defaultcard = 0;
    }
}

void TWASAPISource::filllines(int card) {
    m_lines.clear();
    if (card < 0 || card >= m_cards.count())
        return;
    const TWASAPIDevices& eps = m_cards[card].endpoints;
    for (int i = 0; i < eps.count(); ++i)
        m_lines.push_back(eps[i].name);
}

int TWASAPISource::getdefaultline() const {
    return m_cardindex == m_defaultcard ? m_defaultline : 0;
}

bool TWASAPISource::isactive() const {
    if (m_cardindex < 0 || m_cardindex >= m_cards.count())
        return false;
    const TWASAPIDevices& eps = m_cards[m_cardindex].endpoints;
    if (m_lineindex < 0 || m_lineindex >= eps.count())
        return false;
    return eps[m_lineindex].state == TWASAPIDevice::kActive;
}

bool TWASAPISource::openendpoint(int card, int line) {
    filllines(card);
    // Throws std::out_of_range for a position outside the catalogue; opencard and openline report it.
    const TWASAPIDevice endpoint = m_cards.GetItem(card).endpoints.GetItem(line);
    const bool result = endpoint.state == TWASAPIDevice::kActive;
    m_loopback = endpoint.dataflow == 0;
    m_opened = false;

    int error = 0;
    auto conn = connection(error);
    if (m_loopback) {
        m_silencethread = std::make_unique<TPlayThread>(endpoint.id, conn);
        m_silencethread->initialize();
        m_silencethread->start();
    }
    m_capturethread =
        std::make_unique<TInputRecordThread>(m_format, m_onData, *this, m_dispatcher, m_messages, conn);
    m_capturethread->setloopback(m_loopback);
    m_capturethread->setdevice(endpoint.id, endpoint.name);
    const int init = m_capturethread->initialize();
    m_capturethread->seterrorstate(init);
    m_opened = init == 0;
    m_capturethread->start();
    return result;
}

bool TWASAPISource::openselected(int card, int line) {
    try {
        return openendpoint(card, line);
    } catch (const std::out_of_range&) {
        m_messages.show("Could not initialize selected audio device.", kAudioDeviceErrorCaption,
                        MessageIcon::Error);
        return false;
    }
}

bool TWASAPISource::opencard(int card, const WaveFormat& format) {
    stopthreads();
    m_format = format;
    m_cardindex = card;
    m_lineindex = 0;
    if (card >= 0 && card < m_cards.count()) {
        const TWASAPIDevices& eps = m_cards[card].endpoints;
        for (int i = 0; i < eps.count(); ++i) {
            if (eps[i].state == TWASAPIDevice::kActive) {
                m_lineindex = i;
                break;
            }
        }
    }
    return openselected(card, m_lineindex);
}

bool TWASAPISource::openline(int card, int line, const WaveFormat& format) {
    stopthreads();
    m_format = format;
    m_cardindex = card;
    m_lineindex = line;
    return openselected(card, line);
}

int TWASAPISource::selectline(int line, bool force, int& volumeOut) {
    if (force || line != m_lineindex) {
        stopthreads();
        m_lineindex = line;
        openselected(m_cardindex, line);
    }
    m_volume = getvolume();
    volumeOut = m_volume;
    return 0;
}

void TWASAPISource::setformat(int rate, int channels, WaveFormat& formatOut) {
    m_format = floatformat(static_cast<std::uint32_t>(rate), static_cast<std::uint16_t>(channels));
    formatOut = m_format;
    int ignored = 0;
    selectline(m_lineindex, true, ignored);
}

void TWASAPISource::setvolume(int percent) {
    if (m_capturethread && !m_capturethread->terminated())
        m_capturethread->setvolume(percent);
}

int TWASAPISource::getvolume() {
    if (!m_capturethread || m_capturethread->terminated())
        return 100;
    return m_capturethread->getvolume();
}

void TWASAPISource::stopthreads() {
    using namespace std::chrono_literals;
    if (m_capturethread) {
        m_capturethread->terminate();
        // Keep running hand-offs: the thread may be waiting in one right now.
        while (!m_dispatcher.runUntil([this] { return m_capturethread->finished(); }, 100ms)) {
        }
        m_capturethread->waitfor();
        m_capturethread.reset();
    }
    if (m_silencethread) {
        m_silencethread->terminate();
        m_silencethread->waitfor();
        m_silencethread.reset();
    }
}

} // namespace quimbrel
