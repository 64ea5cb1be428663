#include "names/utf8.h"

namespace {

constexpr char32_t Replacement = 0xFFFD;

void AppendCodePoint(std::wstring& out, char32_t code) {
    if constexpr (sizeof(wchar_t) == 2) {
        if (code >= 0x10000) {
            code -= 0x10000;
            out += static_cast<wchar_t>(0xD800 + (code >> 10));
            out += static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
            return;
        }
    }
    out += static_cast<wchar_t>(code);
}

bool IsSurrogate(char32_t code) { return code >= 0xD800 && code <= 0xDFFF; }

}  // namespace

// Decodes as Windows' MultiByteToWideChar(CP_UTF8, 0) does, which is not quite Unicode's
// "maximal subpart" practice: a lead byte announces 1 to 3 continuation bytes; when fewer bytes
// than that remain, all the rest becomes one U+FFFD. Otherwise the continuation bytes are taken
// one at a time: a byte that is not one ends the sequence (and starts the next), and a value
// that turns out overlong or a surrogate ends it just after the byte that shows it. A byte that
// would take the value past U+10FFFF ends it before that byte.
std::wstring DecodeUtf8AsWindowsDoes(const std::string& bytes) {
    std::wstring out;
    out.reserve(bytes.size());
    const std::size_t size = bytes.size();
    std::size_t at = 0;
    while (at < size) {
        const unsigned char lead = static_cast<unsigned char>(bytes[at++]);
        if (lead < 0x80) {
            out += static_cast<wchar_t>(lead);
            continue;
        }
        const std::size_t follow = lead >= 0xF5   ? 0
                                   : lead >= 0xF0 ? 3
                                   : lead >= 0xE0 ? 2
                                   : lead >= 0xC2 ? 1
                                                  : 0;
        if (follow == 0) {
            AppendCodePoint(out, Replacement);
            continue;
        }
        if (size - at < follow) {
            at = size;
            AppendCodePoint(out, Replacement);
            continue;
        }
        char32_t code = lead & (0x7Fu >> (follow + 1));
        bool valid = true;
        for (std::size_t left = follow; left > 0; --left) {
            const unsigned char next = static_cast<unsigned char>(bytes[at]);
            const char32_t grown = (code << 6) | (next & 0x3Fu);
            if ((next & 0xC0) != 0x80 || (left == 2 && grown >= (0x110000 >> 6))) {
                valid = false;
                break;
            }
            code = grown;
            ++at;
            const bool overlong = (left == 3 && code < 0x10) || (left == 2 && code < 0x20);
            const bool surrogate = left == 2 && code >= (0xD800 >> 6) && code <= (0xDFFF >> 6);
            if (overlong || surrogate) {
                valid = false;
                break;
            }
        }
        AppendCodePoint(out, valid ? code : Replacement);
    }
    return out;
}

std::string EncodeUtf8(const std::wstring& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size(); ++at) {
        char32_t code = static_cast<char32_t>(text[at]);
        if constexpr (sizeof(wchar_t) == 2) {
            code &= 0xFFFF;
            if (code >= 0xD800 && code <= 0xDBFF && at + 1 < text.size()) {
                const char32_t next = static_cast<char32_t>(text[at + 1]) & 0xFFFF;
                if (next >= 0xDC00 && next <= 0xDFFF) {
                    code = 0x10000 + ((code - 0xD800) << 10) + (next - 0xDC00);
                    ++at;
                }
            }
        }
        if (IsSurrogate(code) || code > 0x10FFFF) code = Replacement;
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return out;
}

std::optional<std::wstring> DecodeUtf8Strictly(std::string_view bytes) {
    std::wstring text;
    text.reserve(bytes.size());
    for (std::size_t at = 0; at < bytes.size();) {
        const unsigned char lead = static_cast<unsigned char>(bytes[at]);
        std::size_t length = 0;
        char32_t code = 0;
        char32_t least = 0;
        if (lead < 0x80) {
            length = 1, code = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2, code = lead & 0x1F, least = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3, code = lead & 0x0F, least = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4, code = lead & 0x07, least = 0x10000;
        } else {
            return std::nullopt;
        }
        if (bytes.size() - at < length) return std::nullopt;
        for (std::size_t i = 1; i < length; ++i) {
            const unsigned char next = static_cast<unsigned char>(bytes[at + i]);
            if ((next & 0xC0) != 0x80) return std::nullopt;
            code = (code << 6) | (next & 0x3F);
        }
        if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return std::nullopt;
        if constexpr (sizeof(wchar_t) == 2) {
            if (code >= 0x10000) {
                code -= 0x10000;
                text += static_cast<wchar_t>(0xD800 + (code >> 10));
                code = 0xDC00 + (code & 0x3FF);
            }
        }
        text += static_cast<wchar_t>(code);
        at += length;
    }
    return text;
}
