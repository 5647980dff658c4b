// The update check: knows the program's own version, fetches the update document on a worker thread
// (TVInfoDownload), compares versions and offers the newer version's web page. Owning (UI) thread; the
// outcome comes back through the dispatcher.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace quimbrel {

class Dispatcher;
class MessagePort;
class TVInfoDownload;
struct DownloadOutcome;

// The program's version information.
struct VersionInfo {
    std::string FileVersion = "0.0.0.0";
    std::string ProductName = "Unknown";
    std::string ProductDescription = "Unknown";
    bool VersioInfoPresent = false;
};

// The build's own: its version in four parts, the product name and description.
VersionInfo buildVersionInfo();
// The processor the program was built for, as shown beside the version ("x86_64").
std::string buildArchitecture();
// The update document's address: QUIMBREL_UPDATE_URL when set, else the address the build was given.
std::string updateAddress();
// The host of a web address ("example.org" for "https://example.org:8443/a"), empty when there is none.
std::string siteName(const std::string& url);

// What the update document says: the newest version's text and its web page, or why it says nothing usable.
struct UpdateDocument {
    std::string version;
    std::string page;
    // Set when the bytes are not XML or name no version; version and page are then empty.
    std::string error;
};

// Reads the update document's bytes (Program_Info/Program_Version and
// Web_Info/Application_URLs/Application_Info_URL under the root, blanks trimmed).
UpdateDocument readUpdateDocument(const std::string& body);

class TmGetNewVer {
public:
    // Raised after every successful parse of the document with its version text and page address.
    using TOnGetURLEvent = std::function<void(TmGetNewVer& Sender, const std::string& CurrentVersion,
                                              const std::string& DownloadURL)>;
    // Opens a web page with the desktop's browser; false when it could not be started.
    using PageOpener = std::function<bool(const std::string& url)>;

    // Extra CA certificates are read from QUIMBREL_CA_FILE here.
    TmGetNewVer(Dispatcher& dispatcher, MessagePort& messages, VersionInfo own = buildVersionInfo());
    // Ends and frees a running worker.
    ~TmGetNewVer();
    TmGetNewVer(const TmGetNewVer&) = delete;
    TmGetNewVer& operator=(const TmGetNewVer&) = delete;

    // Ends a running check first, then starts a new download of URLCurrVerFile. Ignored while the outcome
    // of a check is on screen.
    void Check();
    // A check is under way: downloading, or its outcome on screen.
    bool Busy() const;

    const std::string& URLCurrVerFile() const { return m_url; }
    void setURLCurrVerFile(std::string url) { m_url = std::move(url); }
    const std::string& SiteName() const { return m_siteName; }
    void setSiteName(std::string name) { m_siteName = std::move(name); }
    // Report a failed check (download, document or version text).
    bool FailureDlg() const { return m_failureDlg; }
    void setFailureDlg(bool on) { m_failureDlg = on; }
    // Offer the download when a newer version exists.
    bool DownloadDlg() const { return m_downloadDlg; }
    void setDownloadDlg(bool on) { m_downloadDlg = on; }
    // Report that no newer version exists.
    bool NoUpdatesDlg() const { return m_noUpdatesDlg; }
    void setNoUpdatesDlg(bool on) { m_noUpdatesDlg = on; }
    const std::string& FileVersion() const { return m_own.FileVersion; }
    const std::string& ProductName() const { return m_own.ProductName; }
    const std::string& ProductDescription() const { return m_own.ProductDescription; }
    bool VersioInfoPresent() const { return m_own.VersioInfoPresent; }
    void setOnGetURL(TOnGetURLEvent handler) { m_onGetURL = std::move(handler); }
    void setPageOpener(PageOpener opener) { m_opener = std::move(opener); }
    // The download's time-out, for the whole request.
    void setTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }

private:
    void endWorker();
    void outcome(const DownloadOutcome& download);
    void failure(const std::string& text);

    Dispatcher& m_dispatcher;
    MessagePort& m_messages;
    VersionInfo m_own;
    std::string m_url = "https://localhost/quimbrel.xml";
    std::string m_siteName;
    bool m_failureDlg = true;
    bool m_downloadDlg = true;
    bool m_noUpdatesDlg = true;
    TOnGetURLEvent m_onGetURL;
    PageOpener m_opener;
    std::string m_caFile;
    std::chrono::milliseconds m_timeout{30000};
    std::unique_ptr<TVInfoDownload> m_worker;
    bool m_ending = false;
    bool m_inOutcome = false;
};

} // namespace quimbrel
