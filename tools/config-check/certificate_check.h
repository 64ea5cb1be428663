#pragma once
// The server certificate as the installer's internet client judges it, where that differs from
// libcurl's judgement. Built with OpenSSL in the native build only.

#include <string>

// Whether the PEM certificate covers host, an IP address literal (an IPv6 one with or without
// its brackets), as an IP address entry of its subjectAltName but not as a DNS entry. False
// when host is no IP literal or pem holds no readable certificate.
bool CoversIpLiteralOnlyAsAddress(const std::string& pem, const std::string& host);
