// Percent encoding, and lower case through the C library's UTF-8 locale (used only inside lowercase()).
#include "UrlEncode.h"

#include <climits>
#include <clocale>
#include <cwchar>
#include <cwctype>
#include <locale.h>

namespace quimbrel::tagger {

std::string urlencode(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 3);
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

namespace {

// The process's locale is left alone: the conversion switches this thread to C.UTF-8 and back.
class Utf8LocaleScope {
public:
    Utf8LocaleScope() {
        static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
        if (utf8 != static_cast<locale_t>(nullptr))
            m_previous = uselocale(utf8);
    }
    ~Utf8LocaleScope() {
        if (m_previous != static_cast<locale_t>(nullptr))
            uselocale(m_previous);
    }
    Utf8LocaleScope(const Utf8LocaleScope&) = delete;
    Utf8LocaleScope& operator=(const Utf8LocaleScope&) = delete;
    bool active() const { return m_previous != static_cast<locale_t>(nullptr); }

private:
    locale_t m_previous = static_cast<locale_t>(nullptr);
};

} // namespace

std::string lowercase(std::string_view text) {
    Utf8LocaleScope scope;
    std::string out;
    out.reserve(text.size());
    std::mbstate_t in{};
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto c = static_cast<unsigned char>(text[pos]);
        if (c < 0x80 || !scope.active()) {
            out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : text[pos];
            ++pos;
            continue;
        }
        wchar_t wc = 0;
        const std::size_t n = std::mbrtowc(&wc, text.data() + pos, text.size() - pos, &in);
        if (n == static_cast<std::size_t>(-1) || n == static_cast<std::size_t>(-2) || n == 0) {
            in = std::mbstate_t{};
            out += text[pos];
            ++pos;
            continue;
        }
        char encoded[MB_LEN_MAX];
        std::mbstate_t outState{};
        const std::size_t m =
            std::wcrtomb(encoded, static_cast<wchar_t>(std::towlower(static_cast<wint_t>(wc))), &outState);
        if (m == static_cast<std::size_t>(-1))
            out.append(text.data() + pos, n);
        else
            out.append(encoded, m);
        pos += n;
    }
    return out;
}

} // namespace quimbrel::tagger
