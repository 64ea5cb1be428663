#include "net/net.h"
// placeholder
std::wstring FetchText(const std::wstring&) { return {}; }
std::wstring DownloadToFile(const std::wstring&, const std::wstring&) { return {}; }
