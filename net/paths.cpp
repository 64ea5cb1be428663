#include "net/paths.h"
// placeholder
std::vector<std::wstring> DirectoriesToCreate(const std::wstring&) { return {}; }
