// The update check's outcome on the UI thread: the messages, the document's two paths and the offer.
#include "visual/TmGetNewVer.h"

#include "ports/Dispatcher.h"
#include "ports/MessagePort.h"
#include "visual/BuildInfo.h"
#include "visual/TVInfoDownload.h"
#include "visual/VersionCompare.h"

#include <pugixml.hpp>

#include <cctype>
#include <cstdlib>

namespace quimbrel {

namespace {

const char kCaption[] = "Quimbrel";

std::string trimmed(const std::string& text) {
    const char* blanks = " \t\r\n";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

bool isWebAddress(const std::string& url) {
    auto startsWith = [&](const char* prefix) {
        const std::string p(prefix);
        if (url.size() <= p.size())
            return false;
        for (std::size_t i = 0; i < p.size(); ++i)
            if (std::tolower(static_cast<unsigned char>(url[i])) != p[i])
                return false;
        return true;
    };
    return startsWith("https://") || startsWith("http://");
}

} // namespace

UpdateDocument readUpdateDocument(const std::string& body) {
    UpdateDocument document;
    pugi::xml_document doc;
    if (!doc.load_buffer(body.data(), body.size())) {
        document.error = "The document is not XML.";
        return document;
    }
    const pugi::xml_node root = doc.document_element();
    const pugi::xml_node versionNode = root.child("Program_Info").child("Program_Version");
    if (!versionNode) {
        document.error = "The document names no version.";
        return document;
    }
    document.version = trimmed(versionNode.text().get());
    document.page =
        trimmed(root.child("Web_Info").child("Application_URLs").child("Application_Info_URL").text().get());
    return document;
}

VersionInfo buildVersionInfo() {
    return {QUIMBREL_FILE_VERSION, "Quimbrel", "Audio recorder", true};
}

std::string buildArchitecture() {
    return QUIMBREL_ARCHITECTURE;
}

std::string updateAddress() {
    const char* fromEnvironment = std::getenv("QUIMBREL_UPDATE_URL");
    if (fromEnvironment != nullptr && *fromEnvironment != '\0')
        return fromEnvironment;
    return QUIMBREL_UPDATE_URL_DEFAULT;
}

std::string siteName(const std::string& url) {
    const std::size_t scheme = url.find("://");
    if (scheme == std::string::npos)
        return {};
    std::string authority = url.substr(scheme + 3, url.find_first_of("/?#", scheme + 3) - (scheme + 3));
    if (const std::size_t at = authority.rfind('@'); at != std::string::npos)
        authority.erase(0, at + 1);
    if (!authority.empty() && authority.front() == '[')
        return authority.substr(1, authority.find(']') - 1);
    return authority.substr(0, authority.find(':'));
}

TmGetNewVer::TmGetNewVer(Dispatcher& dispatcher, MessagePort& messages, VersionInfo own)
    : m_dispatcher(dispatcher), m_messages(messages), m_own(std::move(own)) {
    if (const char* caFile = std::getenv("QUIMBREL_CA_FILE"))
        m_caFile = caFile;
}

TmGetNewVer::~TmGetNewVer() {
    endWorker();
}

bool TmGetNewVer::Busy() const {
    return m_inOutcome || (m_worker && !m_worker->Finished());
}

void TmGetNewVer::Check() {
    // The worker of the check on screen waits in its hand-over: it cannot be ended from here.
    if (m_inOutcome)
        return;
    endWorker();
    DownloadSettings settings;
    settings.url = m_url;
    settings.caFile = m_caFile;
    settings.timeout = m_timeout;
    m_worker = std::make_unique<TVInfoDownload>(std::move(settings), [this](DownloadOutcome& download) {
        m_dispatcher.invoke([this, &download] {
            if (!m_ending)
                outcome(download);
        });
    });
}

void TmGetNewVer::endWorker() {
    if (!m_worker)
        return;
    // The worker may already wait in its hand-over: serve it (the outcome is dropped) while waiting.
    m_ending = true;
    m_worker->Terminate();
    m_dispatcher.runUntil([this] { return m_worker->Finished(); }, std::chrono::hours(24));
    m_worker.reset();
    m_ending = false;
}

void TmGetNewVer::failure(const std::string& text) {
    if (m_failureDlg)
        m_messages.show(text, kCaption, MessageIcon::Error, MessageButtons::Ok);
}

void TmGetNewVer::outcome(const DownloadOutcome& download) {
    struct OnScreen {
        bool& flag;
        explicit OnScreen(bool& f) : flag(f) { flag = true; }
        ~OnScreen() { flag = false; }
    } onScreen(m_inOutcome);

    if (!download.ok) {
        failure("Could not download file version information from: \n" + m_url);
        return;
    }
    if (!m_own.VersioInfoPresent)
        return;
    const std::string invalid = "Invalid file version information from: \n" + m_url + "\n";
    const UpdateDocument document = readUpdateDocument(download.body);
    if (!document.error.empty()) {
        failure(invalid + document.error);
        return;
    }
    const std::string& version = document.version;
    const std::string& page = document.page;
    if (m_onGetURL)
        m_onGetURL(*this, version, page);

    const VersionComparison comparison = isNewerVersion(version, m_own.FileVersion);
    if (!comparison.error.empty()) {
        failure(invalid + comparison.error);
        return;
    }
    if (comparison.newer) {
        if (!m_downloadDlg)
            return;
        if (!isWebAddress(page)) {
            failure(invalid + "\"" + page + "\" is not a web address.");
            return;
        }
        const MessageResult answer =
            m_messages.show("There is a new version " + version + " of this program\navailable at " +
                                m_siteName + "\nDo you want to download it now?",
                            kCaption, MessageIcon::Question, MessageButtons::YesNo);
        if (answer == MessageResult::Yes && m_opener && !m_opener(page))
            m_messages.show("Unable to open " + page, kCaption, MessageIcon::Error, MessageButtons::Ok);
        return;
    }
    if (m_noUpdatesDlg)
        m_messages.show("You already have the latest version " + m_own.FileVersion + " of this program",
                        kCaption, MessageIcon::Information, MessageButtons::Ok);
}

} // namespace quimbrel
