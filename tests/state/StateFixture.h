// A private home and configuration folder per test, and helpers for files and locales.
#pragma once

#include <gtest/gtest.h>

#include <clocale>
#include <locale.h>
#include <string>

namespace quimbrel::test {

// Points HOME and XDG_CONFIG_HOME at a fresh temporary folder for the length of a test.
class TempHome : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string root() const { return m_root; } // with a closing '/'
    std::string home() const { return m_root + "home/"; }
    std::string configDir() const { return home() + ".config/"; }
    std::string dataDir() const { return configDir() + "Tarvolt/quimbrel/"; }

private:
    std::string m_root;
    std::string m_oldHome, m_oldXdg;
    bool m_hadHome = false, m_hadXdg = false;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);
bool exists(const std::string& path);

// Makes the calling thread use the named locale (built with localedef into a private folder when the system
// lacks it) until destroyed. ok() is false when the locale cannot be had.
class ScopedLocale {
public:
    // name like "fr_FR", charset like "UTF-8" or "ISO-8859-1".
    ScopedLocale(const std::string& name, const std::string& charset);
    ~ScopedLocale();
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;
    bool ok() const { return m_locale != nullptr; }

private:
    locale_t m_locale = nullptr;
    locale_t m_previous = nullptr;
};

} // namespace quimbrel::test
