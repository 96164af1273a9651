#include "platform/posix/code_pages.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>
#include <utility>

namespace qh::platform::posix {
namespace {

struct CodePage {
    int number;
    const char* iconv;
};
constexpr std::array<CodePage, 6> kCodePages = {{
    {932, "CP932"},
    {936, "CP936"},
    {949, "CP949"},
    {950, "CP950"},
    {1251, "CP1251"},
    {1252, "CP1252"},
}};

// Language names as the Windows C library knows them (lower case).
constexpr std::array<std::pair<std::string_view, int>, 14> kLanguages = {{
    {"chinese-simplified", 936},
    {"chs", 936},
    {"chinese-traditional", 950},
    {"cht", 950},
    {"japanese", 932},
    {"jpn", 932},
    {"korean", 949},
    {"kor", 949},
    {"russian", 1251},
    {"rus", 1251},
    {"english", 1252},
    {"american", 1252},
    {"enu", 1252},
    {"c", kCLocale},
}};

// Upper-case letters above ASCII and their lower-case partners.
constexpr std::array<std::pair<unsigned char, unsigned char>, 15> kCp1251Extra = {{
    {0x80, 0x90},
    {0x81, 0x83},
    {0x8A, 0x9A},
    {0x8C, 0x9C},
    {0x8D, 0x9D},
    {0x8E, 0x9E},
    {0x8F, 0x9F},
    {0xA1, 0xA2},
    {0xA3, 0xBC},
    {0xA5, 0xB4},
    {0xA8, 0xB8},
    {0xAA, 0xBA},
    {0xAF, 0xBF},
    {0xB2, 0xB3},
    {0xBD, 0xBE},
}};
constexpr std::array<std::pair<unsigned char, unsigned char>, 4> kCp1252Extra = {{
    {0x8A, 0x9A},
    {0x8C, 0x9C},
    {0x8E, 0x9E},
    {0x9F, 0xFF},
}};

std::string ascii_lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

bool supported(int code_page) {
    return std::any_of(kCodePages.begin(), kCodePages.end(),
                       [&](const CodePage& page) { return page.number == code_page; });
}

std::optional<int> language(std::string_view lower_name) {
    for (const auto& [name, page] : kLanguages)
        if (name == lower_name) return page;
    return std::nullopt;
}

std::optional<int> number(std::string_view digits) {
    if (digits.empty() || digits.size() > 5) return std::nullopt;
    int value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

// "Language" or "Language_Country": words, as in "English_United States".
bool plausible_language_part(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalpha(static_cast<unsigned char>(c)) || c == ' ' || c == '-' || c == '_' ||
               c == '(' || c == ')';
    });
}

}  // namespace

std::optional<int> code_page_of_locale(std::string_view name) {
    const std::string lower = ascii_lower(name);
    if (const auto page = language(lower)) return page;

    const std::size_t dot = lower.rfind('.');
    if (dot != std::string::npos) {
        const std::string_view before = std::string_view(lower).substr(0, dot);
        const auto page = number(std::string_view(lower).substr(dot + 1));
        if (!page || !supported(*page)) return std::nullopt;
        if (before.empty() || plausible_language_part(before)) return page;
        return std::nullopt;
    }
    // "Language_Country" without a code page: the language's own.
    const std::size_t underscore = lower.find('_');
    if (underscore != std::string::npos && plausible_language_part(lower.substr(underscore + 1)))
        if (const auto page = language(lower.substr(0, underscore)); page && *page != kCLocale)
            return page;
    return std::nullopt;
}

const char* iconv_name(int code_page) {
    for (const CodePage& page : kCodePages)
        if (page.number == code_page) return page.iconv;
    return nullptr;
}

bool is_double_byte(int code_page) {
    return code_page == 932 || code_page == 936 || code_page == 949 || code_page == 950;
}

bool is_undefined_byte(int code_page, unsigned char byte) {
    if (code_page == 1251) return byte == 0x98;
    if (code_page == 1252)
        return byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D;
    return false;
}

bool is_lead_byte(int code_page, unsigned char byte) {
    switch (code_page) {
        case 932:
            return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
        case 936:
        case 949:
        case 950:
            return byte >= 0x81 && byte <= 0xFE;
        default:
            return false;
    }
}

unsigned char lower_byte(int code_page, unsigned char byte) {
    if (byte >= 'A' && byte <= 'Z') return static_cast<unsigned char>(byte - 'A' + 'a');
    if (byte < 0x80) return byte;
    if (code_page == 1251) {
        if (byte >= 0xC0 && byte <= 0xDF) return static_cast<unsigned char>(byte + 0x20);
        for (const auto& [upper, lower] : kCp1251Extra)
            if (byte == upper) return lower;
    } else if (code_page == 1252) {
        if (byte >= 0xC0 && byte <= 0xDE && byte != 0xD7)
            return static_cast<unsigned char>(byte + 0x20);
        for (const auto& [upper, lower] : kCp1252Extra)
            if (byte == upper) return lower;
    }
    return byte;
}

}  // namespace qh::platform::posix
