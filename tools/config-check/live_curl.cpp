#include "tools/config-check/live.h"

#include <curl/curl.h>
#include <stdlib.h>  // mkstemp
#include <unistd.h>  // close

#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "tools/config-check/certificate_check.h"
#include "tools/config-check/owned_file.h"
#include "tools/config-check/package.h"
#include "names/utf8.h"
#include "net/field_rules.h"

namespace {

using Curl = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;

const char ConfigPath[] = "/app/lumadesk/version.json";
// Far more than any configuration document; a body past it is something else.
constexpr std::size_t LongestDocument = std::size_t{16} << 20;

// base as "https://" HOST [":" PORT], without a trailing "/"; empty when it has another form.
std::string CanonicalBase(std::string base) {
    const std::string scheme = "https://";
    if (base.size() <= scheme.size()) return {};
    for (std::size_t i = 0; i < scheme.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(base[i])) != scheme[i]) return {};
    }
    if (base.back() == '/') base.pop_back();
    std::string authority = base.substr(scheme.size());
    if (authority.empty() || authority.find_first_of("/?#@ \t\r\n\\") != std::string::npos)
        return {};
    const std::size_t bracket = authority.rfind(']');
    const std::size_t colon = authority.rfind(':');
    if (colon != std::string::npos && (bracket == std::string::npos || colon > bracket)) {
        const std::string port = authority.substr(colon + 1);
        if (colon == 0 || port.empty() || port.size() > 5 ||
            port.find_first_not_of("0123456789") != std::string::npos || std::stoul(port) == 0 ||
            std::stoul(port) > 65535) {
            return {};
        }
    } else if (authority.front() == '[' && bracket != authority.size() - 1) {
        return {};
    }
    return scheme + authority;
}

// Headers of the last response (after any redirect) that tell whether a download can resume.
struct ResumeHeaders {
    std::string etag;
    std::string lastModified;
    std::string contentRange;
};

struct Transfer {
    CURLcode code = CURLE_OK;
    long status = 0;
    curl_off_t announced = -1;  // Content-Length, -1 when none was sent
    curl_off_t received = 0;
    std::string detail;           // libcurl's own words about a failure
    std::string host;             // the host of the last request, after any redirect
    std::string peerCertificate;  // its server's certificate in PEM; empty over http://
    ResumeHeaders headers;
};

// The host part of url as libcurl reads it (an IPv6 literal in brackets); empty when it has none.
std::string HostOf(const char* url) {
    const std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> parts(curl_url(), curl_url_cleanup);
    char* host = nullptr;
    if (!parts || curl_url_set(parts.get(), CURLUPART_URL, url, 0) != CURLUE_OK ||
        curl_url_get(parts.get(), CURLUPART_HOST, &host, 0) != CURLUE_OK) {
        return {};
    }
    const std::string copy = host;
    curl_free(host);
    return copy;
}

struct DocumentTarget {
    std::string bytes;
    bool tooLong = false;
};

struct FileTarget {
    std::FILE* file = nullptr;
    bool failed = false;
};

std::size_t WriteDocument(char* data, std::size_t size, std::size_t count, void* target) {
    auto* document = static_cast<DocumentTarget*>(target);
    if (document->bytes.size() + size * count > LongestDocument) {
        document->tooLong = true;
        return 0;
    }
    document->bytes.append(data, size * count);
    return size * count;
}

// Takes the first byte that a request for it gets, and ends the transfer at a second one: a
// server that ignores the range sends the whole package, which is not wanted again.
std::size_t WriteFirstByte(char* data, std::size_t size, std::size_t count, void* target) {
    auto* received = static_cast<std::string*>(target);
    if (received->size() + size * count > 1) return 0;
    received->append(data, size * count);
    return size * count;
}

std::string Trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    return std::string(text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1));
}

std::size_t CollectHeader(char* data, std::size_t size, std::size_t count, void* target) {
    auto* headers = static_cast<ResumeHeaders*>(target);
    const std::string_view line(data, size * count);
    if (line.substr(0, 5) == "HTTP/") *headers = {};  // the next response, after a redirect
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) return size * count;
    std::string name(line.substr(0, colon));
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string value = Trimmed(line.substr(colon + 1));
    if (name == "etag") headers->etag = value;
    if (name == "last-modified") headers->lastModified = value;
    if (name == "content-range") headers->contentRange = value;
    return size * count;
}

std::size_t WriteFile(char* data, std::size_t size, std::size_t count, void* target) {
    auto* file = static_cast<FileTarget*>(target);
    if (std::fwrite(data, 1, size * count, file->file) != size * count) {
        file->failed = true;
        return 0;
    }
    return size * count;
}

// One GET of url as the installer's WinINet session makes it: its user agent, a direct
// connection whatever the proxy settings, HTTP/1.1, no cache, redirects followed (never from
// https:// down to http://), certificates checked against caBundle when it is not empty; with
// range, only those bytes.
Transfer Fetch(const std::string& url, const std::string& caBundle, curl_write_callback write,
               void* target, const char* range = nullptr) {
    Curl curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl) throw std::bad_alloc();
    char detail[CURL_ERROR_SIZE] = "";
    CURL* handle = curl.get();
    const bool secure = url.compare(0, 8, "https://") == 0;
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, detail);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, write);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, target);
    curl_easy_setopt(handle, CURLOPT_USERAGENT, "Installer");
    curl_easy_setopt(handle, CURLOPT_PROXY, "");
    curl_easy_setopt(handle, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(handle, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, 30L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, 60L);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_CERTINFO, 1L);
    curl_blob blob{const_cast<char*>(caBundle.data()), caBundle.size(), CURL_BLOB_NOCOPY};
    if (!caBundle.empty()) curl_easy_setopt(handle, CURLOPT_CAINFO_BLOB, &blob);
    if (range) curl_easy_setopt(handle, CURLOPT_RANGE, range);

    Transfer transfer;
    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, CollectHeader);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, &transfer.headers);
    transfer.code = curl_easy_perform(handle);
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &transfer.status);
    curl_easy_getinfo(handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &transfer.announced);
    curl_easy_getinfo(handle, CURLINFO_SIZE_DOWNLOAD_T, &transfer.received);
    transfer.detail = detail[0] != '\0' ? detail : curl_easy_strerror(transfer.code);
    char* last = nullptr;
    curl_easy_getinfo(handle, CURLINFO_EFFECTIVE_URL, &last);
    transfer.host = last ? HostOf(last) : "";
    curl_certinfo* chain = nullptr;
    if (curl_easy_getinfo(handle, CURLINFO_CERTINFO, &chain) == CURLE_OK && chain &&
        chain->num_of_certs > 0) {
        const std::string_view field = "Cert:";
        for (curl_slist* item = chain->certinfo[0]; item; item = item->next) {
            if (std::string_view(item->data).substr(0, field.size()) == field)
                transfer.peerCertificate = item->data + field.size();
        }
    }
    return transfer;
}

// What in transfer would stop the installer, as the end of a sentence; empty when nothing.
std::wstring Trouble(const Transfer& transfer) {
    const std::wstring detail = L" (" + DecodeUtf8AsWindowsDoes(transfer.detail) + L")";
    switch (transfer.code) {
        case CURLE_OK:
            break;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_INVALIDCERTSTATUS:
            return L"the TLS connection failed" + detail +
                   L": the certificate must be valid, issued for the host and by an authority "
                   L"Windows trusts";
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_CONNECT:
        case CURLE_OPERATION_TIMEDOUT:
            return L"no connection" + detail;
        case CURLE_PARTIAL_FILE:
        case CURLE_RECV_ERROR:
        case CURLE_GOT_NOTHING:
            return L"the body ended after " + std::to_wstring(transfer.received) + L" bytes" +
                   (transfer.announced >= 0
                        ? L" of the " + std::to_wstring(transfer.announced) + L" announced"
                        : L"") +
                   detail;
        case CURLE_TOO_MANY_REDIRECTS:
            return L"it redirects more than 10 times" + detail;
        case CURLE_UNSUPPORTED_PROTOCOL:
            return L"it cannot be fetched over HTTP or HTTPS, or redirects from https:// to "
                   L"http://" +
                   detail;
        default:
            return L"the transfer failed" + detail;
    }
    if (transfer.status >= 400) return L"HTTP status " + std::to_wstring(transfer.status);
    if (transfer.received == 0) return L"the body is empty";
    if (transfer.announced >= 0 && transfer.received < transfer.announced) {
        return L"the body ended after " + std::to_wstring(transfer.received) + L" of the " +
               std::to_wstring(transfer.announced) + L" bytes announced";
    }
    return {};
}

void Tell(ConfigCheck& check, const wchar_t* what, const std::string& url,
          const std::wstring& trouble) {
    check.errors.push_back({"live-fetch-failed", std::wstring(what) + L" " +
                                                     DecodeUtf8AsWindowsDoes(url) + L": " +
                                                     trouble + L"; the installer stops there."});
}

// libcurl accepts an IP address entry of the certificate for an address in the url; the
// installer's WinINet under Wine compares the address only with the DNS entries and fails.
void WarnOfAddressOnlyCertificate(ConfigCheck& check, const Transfer& transfer) {
    if (transfer.code != CURLE_OK ||
        !CoversIpLiteralOnlyAsAddress(transfer.peerCertificate, transfer.host))
        return;
    const std::wstring host = DecodeUtf8AsWindowsDoes(transfer.host);
    const Finding finding{
        "live-certificate-address-only",
        L"The certificate of " + host +
            L" names it only as an IP address, not as a DNS name: WinINet under Wine matches "
            L"an address in the url only against the DNS names and fails the TLS connection; "
            L"name the host both ways in the subjectAltName (IP:" +
            host + L",DNS:" + host + L")."};
    // The document and the package often come from the same server: say it once.
    for (const Finding& known : check.warnings) {
        if (known == finding) return;
    }
    check.warnings.push_back(finding);
}

// An installer built with INSTALLER_FIELD_NETWORK=ON continues a broken package download with
// Range and If-Range: it needs a 206 for a range and a strong ETag or a Last-Modified to send
// along. Without them it downloads the whole package again on every attempt; a warning, since
// the package still installs.
void WarnOfNoResume(ConfigCheck& check, const std::string& url, const std::string& authorities,
                    const Transfer& whole) {
    const std::wstring shown = DecodeUtf8AsWindowsDoes(url);
    const std::wstring consequence =
        L": an installer built with INSTALLER_FIELD_NETWORK=ON cannot resume a broken download of "
        L"it and downloads the whole package again.";
    std::string firstByte;
    const Transfer probe = Fetch(url, authorities, WriteFirstByte, &firstByte, "0-0");
    const std::string wanted = "bytes 0-0/" + std::to_string(whole.received);
    const std::optional<ContentRange> range =
        ParseContentRange(DecodeUtf8AsWindowsDoes(probe.headers.contentRange));
    if (probe.status != 206 || !range || range->first != 0 || range->last != 0 ||
        range->total != static_cast<unsigned long long>(whole.received)) {
        const std::wstring answer =
            probe.status == 206 ? L"206 with Content-Range \"" +
                                      DecodeUtf8AsWindowsDoes(probe.headers.contentRange) +
                                      L"\", not \"" + DecodeUtf8AsWindowsDoes(wanted) + L"\""
            : probe.status != 0 ? L"status " + std::to_wstring(probe.status) + L", not 206"
                                : L"no answer (" + DecodeUtf8AsWindowsDoes(probe.detail) + L")";
        check.warnings.push_back(
            {"live-no-range",
             L"The package " + shown + L" answers Range: bytes=0-0 with " + answer + consequence});
    }
    const std::string& etag = whole.headers.etag;
    if (ResumeValidator(DecodeUtf8AsWindowsDoes(etag),
                        DecodeUtf8AsWindowsDoes(whole.headers.lastModified))
            .empty()) {
        check.warnings.push_back(
            {"live-no-validator",
             L"The package " + shown + L" comes with neither a strong ETag nor a Last-Modified" +
                 (etag.empty() ? L""
                               : L" (its ETag " + DecodeUtf8AsWindowsDoes(etag) + L" is weak)") +
                 consequence});
    }
}

bool ReadFile(const std::filesystem::path& path, std::string& bytes) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

// The trusted authorities: libcurl's own bundle and, after it, extra. Empty when extra is
// empty, so that libcurl keeps its defaults.
std::string TrustedAuthorities(const std::string& extra) {
    if (extra.empty()) return {};
    Curl curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl) throw std::bad_alloc();
    char* system = nullptr;
    std::string bundle;
    if (curl_easy_getinfo(curl.get(), CURLINFO_CAINFO, &system) == CURLE_OK && system)
        ReadFile(system, bundle);
    return bundle + "\n" + extra;
}

// Fetches the package at url into a temporary file, checks it and removes the file.
bool CheckFetchedPackage(const std::string& url, const std::string& authorities, ConfigCheck& check,
                         std::string& failure) {
    std::error_code error;
    std::string path =
        (std::filesystem::temp_directory_path(error) / "config-check-XXXXXX").string();
    const int descriptor = mkstemp(path.data());
    if (descriptor < 0) {
        failure = "cannot make a temporary file for the package in " + path;
        return false;
    }
    OwnedFile file(fdopen(descriptor, "wb"), CloseFile);
    if (!file) {
        close(descriptor);
        std::remove(path.c_str());
        failure = "cannot write the temporary file " + path;
        return false;
    }
    bool checked = true;
    try {
        FileTarget target{file.get(), false};
        const Transfer transfer = Fetch(url, authorities, WriteFile, &target);
        const bool written = !target.failed && std::fclose(file.release()) == 0;
        const std::wstring trouble = Trouble(transfer);
        if (!written) {
            failure = "cannot write the temporary file " + path;
            checked = false;
        } else if (!trouble.empty()) {
            Tell(check, L"The package", url, trouble);
        } else {
            checked = CheckPackageFile(path, check, failure);
            WarnOfAddressOnlyCertificate(check, transfer);
            WarnOfNoResume(check, url, authorities, transfer);
        }
    } catch (...) {
        file.reset();
        std::remove(path.c_str());
        throw;
    }
    file.reset();
    std::remove(path.c_str());
    return checked;
}

}  // namespace

bool CheckLiveDeployment(const std::string& base, const std::filesystem::path& caFile,
                         ConfigCheck& check, std::string& failure) {
    const std::string root = CanonicalBase(base);
    if (root.empty()) {
        failure = "--live takes https://HOST[:PORT], not " + base;
        return false;
    }
    std::string extra;
    if (!caFile.empty()) {
        if (!ReadFile(caFile, extra)) {
            failure = "cannot read " + caFile.string();
            return false;
        }
        if (extra.find("-----BEGIN CERTIFICATE-----") == std::string::npos) {
            failure = caFile.string() + " holds no PEM certificate";
            return false;
        }
    }
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
        failure = "cannot start libcurl";
        return false;
    }
    const std::string authorities = TrustedAuthorities(extra);
    bool checked = true;
    const std::string documentUrl = root + ConfigPath;
    DocumentTarget document;
    const Transfer transfer = Fetch(documentUrl, authorities, WriteDocument, &document);
    const std::wstring trouble =
        document.tooLong ? L"the body is larger than 16 MiB, too large to be a configuration "
                           L"document"
                         : Trouble(transfer);
    if (!trouble.empty()) {
        check = {};
        Tell(check, L"The configuration document", documentUrl, trouble);
    } else {
        check = CheckConfigDocument(document.bytes, check.publicKeys);
        WarnOfAddressOnlyCertificate(check, transfer);
        if (!check.config.url.empty()) {
            checked =
                CheckFetchedPackage(EncodeUtf8(check.config.url), authorities, check, failure);
        }
    }
    check.packageChecked = true;
    curl_global_cleanup();
    return checked;
}
