#include "tests/support/unpacker_parsing.h"

#include <cwctype>

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// PowerShell's tokenizer takes the typographic quotes for quotes too.
bool IsSingleQuote(wchar_t c) {
    return c == L'\'' || c == L'\u2018' || c == L'\u2019' || c == L'\u201A' || c == L'\u201B';
}
bool IsDoubleQuote(wchar_t c) {
    return c == L'"' || c == L'\u201C' || c == L'\u201D' || c == L'\u201E';
}
bool IsDash(wchar_t c) { return c == L'-' || (c >= L'\u2013' && c <= L'\u2015'); }
bool IsAsciiLetter(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }

wchar_t AsciiLower(wchar_t c) { return (c >= L'A' && c <= L'Z') ? c - L'A' + L'a' : c; }

enum class TokenKind { Word, String, Parameter };
struct Token {
    TokenKind kind;
    std::wstring text;  // a parameter's name without the dash
};

// Reads a string whose opening quote is at text[pos]; pos ends after the closing quote.
bool ReadQuoted(const std::wstring& text, size_t& pos, bool single, std::wstring& value,
                std::wstring& error) {
    ++pos;
    while (true) {
        if (pos >= text.size()) {
            error = L"the string is missing its terminator";
            return false;
        }
        wchar_t c = text[pos++];
        if (!single && c == L'`') {
            if (pos >= text.size()) continue;
            c = text[pos++];
        } else if (!single && c == L'$') {
            error = L"variable expansion in a double-quoted string";
            return false;
        } else if (single ? IsSingleQuote(c) : IsDoubleQuote(c)) {
            const bool doubled =
                pos < text.size() && (single ? IsSingleQuote(text[pos]) : IsDoubleQuote(text[pos]));
            if (!doubled) return true;
            c = text[pos++];
        }
        value += c;
    }
}

bool Tokenize(const std::wstring& text, std::vector<Token>& tokens, std::wstring& error) {
    size_t pos = 0;
    while (true) {
        while (pos < text.size() && IsBlank(text[pos])) ++pos;
        if (pos >= text.size()) return true;
        const wchar_t c = text[pos];
        if (IsSingleQuote(c) || IsDoubleQuote(c)) {
            std::wstring value;
            if (!ReadQuoted(text, pos, IsSingleQuote(c), value, error)) return false;
            if (pos < text.size() && !IsBlank(text[pos])) {
                error = L"unexpected text after a string: " + text.substr(pos);
                return false;
            }
            tokens.push_back({TokenKind::String, value});
            continue;
        }
        std::wstring word;
        while (pos < text.size() && !IsBlank(text[pos])) {
            if (IsSingleQuote(text[pos]) || IsDoubleQuote(text[pos]) || text[pos] == L'$' ||
                text[pos] == L'`' || text[pos] == L';') {
                error = L"special character in a bare word: " + text.substr(pos);
                return false;
            }
            word += text[pos++];
        }
        if (word.size() > 1 && IsDash(word[0]) && IsAsciiLetter(word[1])) {
            tokens.push_back({TokenKind::Parameter, word.substr(1)});
        } else {
            tokens.push_back({TokenKind::Word, word});
        }
    }
}

bool IsSwitchParameter(const std::wstring& name) {
    for (const wchar_t* known : {L"Force", L"PassThru", L"WhatIf", L"Confirm", L"Verbose"}) {
        if (EqualsIgnoringAsciiCase(name, known)) return true;
    }
    return false;
}

bool IsPrefixIgnoringAsciiCase(const std::wstring& prefix, const std::wstring& whole) {
    return !prefix.empty() && prefix.size() <= whole.size() &&
           EqualsIgnoringAsciiCase(prefix, whole.substr(0, prefix.size()));
}

}  // namespace

bool EqualsIgnoringAsciiCase(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
}

std::vector<std::wstring> ParseWindowsCommandLine(const std::wstring& line) {
    std::vector<std::wstring> args;
    size_t pos = 0;
    // The program name ends at the next quote or blank; backslashes mean nothing in it.
    std::wstring program;
    if (pos < line.size() && line[pos] == L'"') {
        ++pos;
        while (pos < line.size() && line[pos] != L'"') program += line[pos++];
        if (pos < line.size()) ++pos;
    } else {
        while (pos < line.size() && !IsBlank(line[pos])) program += line[pos++];
    }
    args.push_back(program);
    while (true) {
        while (pos < line.size() && IsBlank(line[pos])) ++pos;
        if (pos >= line.size()) return args;
        std::wstring arg;
        bool quoted = false;
        while (pos < line.size()) {
            const wchar_t c = line[pos];
            if (c == L'\\') {
                size_t count = 0;
                while (pos < line.size() && line[pos] == L'\\') {
                    ++count;
                    ++pos;
                }
                if (pos < line.size() && line[pos] == L'"') {
                    arg.append(count / 2, L'\\');
                    if (count % 2 == 1) {
                        arg += L'"';
                        ++pos;
                    }
                } else {
                    arg.append(count, L'\\');
                }
                continue;
            }
            if (c == L'"') {
                if (quoted && pos + 1 < line.size() && line[pos + 1] == L'"') {
                    arg += L'"';
                    pos += 2;
                } else {
                    quoted = !quoted;
                    ++pos;
                }
                continue;
            }
            if (!quoted && IsBlank(c)) break;
            arg += c;
            ++pos;
        }
        args.push_back(arg);
    }
}

PowerShellInvocation ParsePowerShellArguments(const std::vector<std::wstring>& args) {
    PowerShellInvocation call;
    bool haveCommand = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        if (arg.size() < 2 || (arg[0] != L'-' && arg[0] != L'/')) continue;
        const std::wstring name = arg.substr(1);
        if (EqualsIgnoringAsciiCase(name, L"ExecutionPolicy") ||
            EqualsIgnoringAsciiCase(name, L"ep")) {
            if (i + 1 < args.size()) call.executionPolicy = args[++i];
            continue;
        }
        if (IsPrefixIgnoringAsciiCase(name, L"Command")) {
            for (size_t j = i + 1; j < args.size(); ++j) {
                if (j > i + 1) call.command += L' ';
                call.command += args[j];
            }
            haveCommand = true;
            break;
        }
    }
    if (!haveCommand) {
        call.error = L"no -command argument";
        return call;
    }
    std::vector<Token> tokens;
    if (!Tokenize(call.command, tokens, call.error)) return call;
    if (tokens.empty() || tokens[0].kind != TokenKind::Word) {
        call.error = L"the command does not start with a cmdlet name";
        return call;
    }
    call.cmdlet = tokens[0].text;
    for (size_t i = 1; i < tokens.size(); ++i) {
        if (tokens[i].kind != TokenKind::Parameter) {
            call.error = L"positional argument: " + tokens[i].text;
            return call;
        }
        std::wstring name = tokens[i].text;
        const size_t colon = name.find(L':');
        if (colon != std::wstring::npos) {
            call.error = L"colon-bound parameter: " + name;
            return call;
        }
        if (IsSwitchParameter(name)) {
            call.parameters.push_back({name, L""});
            continue;
        }
        if (i + 1 >= tokens.size() || tokens[i + 1].kind == TokenKind::Parameter) {
            call.error = L"parameter without a value: " + name;
            return call;
        }
        call.parameters.push_back({name, tokens[++i].text});
    }
    call.ok = true;
    return call;
}

std::wstring PowerShellParameter(const PowerShellInvocation& call, const std::wstring& name,
                                 bool* found) {
    for (const auto& [parameter, value] : call.parameters) {
        if (EqualsIgnoringAsciiCase(parameter, name)) {
            if (found) *found = true;
            return value;
        }
    }
    if (found) *found = false;
    return {};
}

std::wstring DecodeUtf16Le(const std::string& bytes) {
    std::wstring text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const unsigned unit =
            static_cast<unsigned char>(bytes[i]) |
            (static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 1])) << 8);
        if constexpr (sizeof(wchar_t) >= 4) {
            // Rejoin surrogate pairs into the code points this platform's wchar_t holds.
            const bool high = unit >= 0xD800 && unit <= 0xDBFF;
            if (high && i + 3 < bytes.size()) {
                const unsigned next =
                    static_cast<unsigned char>(bytes[i + 2]) |
                    (static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 3])) << 8);
                if (next >= 0xDC00 && next <= 0xDFFF) {
                    text +=
                        static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
                    i += 2;
                    continue;
                }
            }
        }
        text += static_cast<wchar_t>(unit);
    }
    return text;
}

std::vector<std::wstring> ScriptNameSpaceArguments(const std::wstring& script) {
    std::vector<std::wstring> found;
    const std::wstring call = L"namespace(";
    for (size_t pos = 0; pos + call.size() <= script.size(); ++pos) {
        if (!EqualsIgnoringAsciiCase(script.substr(pos, call.size()), call)) continue;
        size_t at = pos + call.size();
        while (at < script.size() && IsBlank(script[at])) ++at;
        if (at >= script.size() || script[at] != L'"') continue;
        // A VBScript string ends at a lone double quote; two in a row stand for one.
        std::wstring value;
        for (++at; at < script.size(); ++at) {
            if (script[at] == L'"') {
                if (at + 1 < script.size() && script[at + 1] == L'"') {
                    value += L'"';
                    ++at;
                    continue;
                }
                break;
            }
            value += script[at];
        }
        found.push_back(value);
        pos = at;
    }
    return found;
}

namespace {

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// The decimal number at script[at], or -1.
long NumberAt(const std::wstring& script, size_t at) {
    if (at >= script.size() || !IsDigit(script[at])) return -1;
    long value = 0;
    for (; at < script.size() && IsDigit(script[at]) && value < 1000000; ++at)
        value = value * 10 + (script[at] - L'0');
    return value;
}

// The number assigned to name by a line "name = N" of the script, or -1.
long AssignedNumber(const std::wstring& script, const std::wstring& name) {
    for (size_t line = 0; line < script.size();) {
        size_t end = script.find(L'\n', line);
        if (end == std::wstring::npos) end = script.size();
        size_t at = line;
        while (at < end && IsBlank(script[at])) ++at;
        if (at + name.size() <= end &&
            EqualsIgnoringAsciiCase(script.substr(at, name.size()), name)) {
            at += name.size();
            while (at < end && IsBlank(script[at])) ++at;
            if (at < end && script[at] == L'=') {
                ++at;
                while (at < end && IsBlank(script[at])) ++at;
                return NumberAt(script, at);
            }
        }
        line = end + 1;
    }
    return -1;
}

}  // namespace

long ScriptCopyOptions(const std::wstring& script) {
    const std::wstring call = L"copyhere";
    for (size_t pos = 0; pos + call.size() <= script.size(); ++pos) {
        if (!EqualsIgnoringAsciiCase(script.substr(pos, call.size()), call)) continue;
        const size_t comma = script.find(L',', pos);
        const size_t lineEnd = script.find(L'\n', pos);
        if (comma == std::wstring::npos || comma > lineEnd) return 0;
        size_t at = comma + 1;
        while (at < script.size() && IsBlank(script[at])) ++at;
        if (at < script.size() && IsDigit(script[at])) return NumberAt(script, at);
        size_t end = at;
        while (end < script.size() && (std::iswalnum(script[end]) || script[end] == L'_')) ++end;
        return AssignedNumber(script, script.substr(at, end - at));
    }
    return -1;
}
